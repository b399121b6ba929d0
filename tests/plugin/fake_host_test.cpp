// The fake host: its synthetic clip, what it records of the plug-in's
// calls, its fail points and its parallel-run service.
#include "plugin/fake_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "fakes/fake_com.h"
#include "support/leak_checked_test.h"

namespace {

using plugin_test::FakeHost;
using plugin_test::FrameSize;

bool Same(const HostPixel& a, const HostPixel& b) {
  return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2;
}

class FakeHostTest : public support::LeakCheckedTest {
 protected:
  HostPixel* Fetch(int frame, int* width = nullptr, int* height = nullptr) {
    return host.services()->fetch_frame(&table, host.edit_handle, frame, width, height);
  }
  FakeHost host;
  FilterTable table{};
};

TEST_F(FakeHostTest, ServesTheClipsFramesInRowsOfMaxWidthPixels) {
  host.max_width = 40;
  host.max_height = 30;
  host.frame_count = 10;
  host.frame_size = [](int frame) { return frame < 5 ? FrameSize{16, 8} : FrameSize{24, 12}; };
  struct Case {
    int frame, width, height;
  } cases[] = {{0, 16, 8}, {4, 16, 8}, {5, 24, 12}, {9, 24, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    int width = -1, height = -1;
    HostPixel* image = Fetch(c.frame, &width, &height);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height);
    for (int y : {0, c.height - 1}) {
      for (int x : {0, 1, c.width - 1}) {
        SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
        EXPECT_TRUE(Same(plugin_test::DefaultPixel(c.frame, x, y), image[y * 40 + x]));
      }
      // Past the frame's width the row is the host's.
      EXPECT_TRUE(Same(FakeHost::kSentinel, image[y * 40 + c.width]));
    }
  }
  EXPECT_EQ(4u, host.live_fetched_images());
}

TEST_F(FakeHostTest, DefaultContentDiffersPerFramePositionAndComponentAndGoesNegative) {
  std::set<int> values;
  int negative = 0, pairs_equal = 0;
  for (int frame : {0, 1}) {
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        HostPixel p = plugin_test::DefaultPixel(frame, x, y);
        for (int16_t c : {p.c0, p.c1, p.c2}) {
          values.insert(c);
          negative += c < 0;
        }
        pairs_equal += p.c0 == p.c1 || p.c1 == p.c2 || p.c0 == p.c2;
        EXPECT_FALSE(Same(p, plugin_test::DefaultPixel(frame, x + 1, y)));
        EXPECT_FALSE(Same(p, plugin_test::DefaultPixel(frame, x, y + 1)));
        EXPECT_FALSE(Same(p, plugin_test::DefaultPixel(frame + 1, x, y)));
        EXPECT_FALSE(Same(p, plugin_test::DefaultPixel(frame, y, x)) && x != y);
      }
    }
  }
  // 1536 components over a 16-bit range: nearly all distinct, about half
  // negative.
  EXPECT_GT(values.size(), 1500u);
  EXPECT_GT(negative, 600);
  EXPECT_LT(negative, 936);
  EXPECT_LT(pairs_equal, 3);
}

TEST_F(FakeHostTest, ContentCanBeChosenByTheTest) {
  host.content = [](int frame, int x, int y) {
    return HostPixel{int16_t(frame), int16_t(x), int16_t(-y)};
  };
  HostPixel* image = Fetch(3);
  ASSERT_NE(nullptr, image);
  EXPECT_TRUE(Same(HostPixel{3, 5, -2}, image[2 * host.max_width + 5]));
}

TEST_F(FakeHostTest, CountsFetchesAndFailsTheNamedAndImpossibleFrames) {
  host.frame_count = 8;
  host.failing_frames = {3};
  host.frame_size = [](int frame) { return frame == 6 ? FrameSize{2000, 10} : FrameSize{64, 48}; };
  struct Case {
    int frame;
    bool served;
  } cases[] = {{2, true}, {3, false}, {2, true}, {-1, false}, {8, false}, {6, false}, {7, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    int width = -5, height = -5;
    HostPixel* image = Fetch(c.frame, &width, &height);
    EXPECT_EQ(c.served, image != nullptr);
    // A failed fetch leaves the size untouched.
    if (!c.served) {
      EXPECT_EQ(-5, width);
    }
  }
  Fetch(2);  // without asking for the size
  EXPECT_EQ((std::vector<int>{2, 3, 2, -1, 8, 6, 7, 2}), host.FetchOrder());
  EXPECT_EQ(3, host.FetchCount(2));
  EXPECT_EQ(1, host.FetchCount(3));
  EXPECT_EQ(0, host.FetchCount(4));
  ASSERT_EQ(8u, host.fetches.size());
  EXPECT_TRUE(host.fetches[0].wants_size);
  EXPECT_FALSE(host.fetches[7].wants_size);
  EXPECT_FALSE(host.fetches[1].served);
  EXPECT_EQ(host.edit_handle, host.fetches[0].edit_handle);
  EXPECT_EQ(4u, host.live_fetched_images());
}

FakeHost* process_host = nullptr;
HostPixel* fetched_during_process = nullptr;
size_t images_during_process = 0;
BOOL __cdecl FetchingProcess(FilterTable* table, FrameRequest* request) {
  fetched_during_process =
      table->services->fetch_frame(table, request->edit_handle, request->frame, nullptr, nullptr);
  images_during_process = process_host->live_fetched_images();
  return fetched_during_process != nullptr;
}

TEST_F(FakeHostTest, FetchedImagesLiveUntilTheEndOfTheProcessCall) {
  table.services = host.services();
  table.process = &FetchingProcess;
  process_host = &host;
  host.max_width = 100;
  host.max_height = 60;
  FrameRequest request = host.MakeRequest(4);
  EXPECT_EQ(1, host.Process(&table, &request));
  EXPECT_NE(nullptr, fetched_during_process);
  EXPECT_EQ(1u, images_during_process);
  EXPECT_EQ(0u, host.live_fetched_images());
  EXPECT_EQ(4, host.fetches.at(0).frame);
  process_host = nullptr;
}

TEST_F(FakeHostTest, RequestsCarryTheFramesSizesAndASentinelOutput) {
  host.max_width = 20;
  host.max_height = 10;
  host.frame_count = 33;
  host.frame_size = [](int frame) { return FrameSize{8 + frame, 6}; };
  FrameRequest request = host.MakeRequest(2);
  EXPECT_EQ(10, request.width);
  EXPECT_EQ(6, request.height);
  EXPECT_EQ(20, request.max_width);
  EXPECT_EQ(10, request.max_height);
  EXPECT_EQ(2, request.frame);
  EXPECT_EQ(33, request.frame_count);
  EXPECT_EQ(host.edit_handle, request.edit_handle);
  ASSERT_NE(nullptr, request.output);
  ASSERT_NE(nullptr, request.scratch);
  EXPECT_NE(request.output, request.scratch);
  EXPECT_TRUE(Same(FakeHost::kSentinel, request.scratch[20 * 10 - 1]));
  EXPECT_EQ("", host.OutputWrittenOutsideFrame(request));

  // Inside the frame anything may be written; one pixel beyond it may not.
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 10; ++x) request.output[y * 20 + x] = {1, 2, 3};
  }
  EXPECT_EQ("", host.OutputWrittenOutsideFrame(request));
  struct Case {
    int x, y;
  } outside[] = {{10, 0}, {19, 5}, {0, 6}, {19, 9}};
  for (const Case& c : outside) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    request.output[c.y * 20 + c.x] = {1, 2, 3};
    EXPECT_EQ("output pixel (" + std::to_string(c.x) + ", " + std::to_string(c.y) +
                  ") outside the 10x6 frame was written: (1, 2, 3)",
              host.OutputWrittenOutsideFrame(request));
    request.output[c.y * 20 + c.x] = FakeHost::kSentinel;
  }
}

TEST_F(FakeHostTest, RecordsReservationsSettingsAndFilterStateQueries) {
  HostServices* services = host.services();
  EXPECT_EQ(1, services->reserve_frames(&table, 1920, 1080, 3, 0));
  host.reservation_result = false;
  EXPECT_EQ(0, services->reserve_frames(&table, 640, 480, 1, 2));
  ASSERT_EQ(2u, host.reservations.size());
  EXPECT_EQ(640, host.reservations[1].max_width);
  EXPECT_EQ(480, host.reservations[1].max_height);
  EXPECT_EQ(1, host.reservations[1].frame_count);
  EXPECT_EQ(2, host.reservations[1].flags);

  host.settings["disable_pp"] = 1;
  char dev[] = "dev", disable[] = "disable_pp";
  EXPECT_EQ(7, services->read_integer_setting(&table, dev, 7));
  EXPECT_EQ(1, services->read_integer_setting(&table, disable, 0));
  EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"dev", 7}, {"disable_pp", 0}}),
            host.setting_reads);

  host.filter_active = false;
  EXPECT_EQ(0, services->is_filter_active(&table));
  host.filter_active = true;
  EXPECT_EQ(1, services->is_filter_active(&table));
  EXPECT_EQ(2, host.filter_state_queries);
}

void __cdecl CountingRoutine(int, int, void* first, void*) {
  static_cast<std::atomic<int>*>(first)->fetch_add(1);
}

TEST_F(FakeHostTest, ServicesHaveFailPointsThatAreRecorded) {
  host.SetParallelThreads(2);
  std::atomic<int> ran{0};
  fakes::FailCall("Host::FetchFrame", 2, E_FAIL);
  fakes::FailCall("Host::ReserveFrames", 1, E_FAIL);
  fakes::FailCall("Host::ParallelRun", 1, E_FAIL);
  fakes::StartRecordingFailPoints();
  EXPECT_NE(nullptr, Fetch(1));
  EXPECT_EQ(nullptr, Fetch(1));
  EXPECT_NE(nullptr, Fetch(1));
  EXPECT_EQ(0, host.services()->reserve_frames(&table, 64, 48, 1, 0));
  EXPECT_EQ(1, host.services()->reserve_frames(&table, 64, 48, 1, 0));
  EXPECT_EQ(0, host.services()->parallel_run(&CountingRoutine, &ran, nullptr));
  EXPECT_EQ(0, ran.load());
  EXPECT_EQ(1, host.services()->parallel_run(&CountingRoutine, &ran, nullptr));
  EXPECT_EQ(2, ran.load());
  const std::vector<std::string> expected = {
      "Host::FetchFrame",    "Host::FetchFrame",  "Host::FetchFrame", "Host::ReserveFrames",
      "Host::ReserveFrames", "Host::ParallelRun", "Host::ParallelRun"};
  EXPECT_EQ(expected, fakes::StopRecordingFailPoints());
  EXPECT_EQ(3u, host.fetches.size());
  EXPECT_EQ(2u, host.reservations.size());
  ASSERT_EQ(2u, host.parallel_runs.size());
  EXPECT_EQ(0, host.parallel_runs[0].threads);
  EXPECT_EQ(2, host.parallel_runs[1].threads);
  EXPECT_EQ(0, fakes::PendingFailures());
}

TEST_F(FakeHostTest, FetchDelayIsSpentInsideTheFetch) {
  host.fetch_delay = std::chrono::milliseconds(20);
  auto start = std::chrono::steady_clock::now();
  EXPECT_NE(nullptr, Fetch(0));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

TEST_F(FakeHostTest, WithoutThreadsTheParallelRunSlotIsEmpty) {
  EXPECT_EQ(nullptr, host.services()->parallel_run);
  host.SetParallelThreads(3);
  EXPECT_NE(nullptr, host.services()->parallel_run);
  host.SetParallelThreads(0);
  EXPECT_EQ(nullptr, host.services()->parallel_run);
}

// Every invocation waits, up to a generous limit, until all have started:
// only threads that run at the same time get past it.
struct Rendezvous {
  int count = 0;
  std::atomic<int> started{0};
  std::atomic<int> met{0};
  std::atomic<int> finished{0};
  std::vector<int> indices_seen;  // one slot per index
  std::vector<int> counts_seen;
  void* second_seen[8] = {};
};

void __cdecl MeetingRoutine(int index, int count, void* first, void* second) {
  auto* r = static_cast<Rendezvous*>(first);
  r->indices_seen[index] += 1;
  r->counts_seen[index] = count;
  r->second_seen[index] = second;
  r->started.fetch_add(1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (r->started.load() < r->count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  if (r->started.load() == r->count) r->met.fetch_add(1);
  // Still busy when the last one met: the service must wait for this.
  std::this_thread::sleep_for(std::chrono::milliseconds(index == 0 ? 30 : 0));
  r->finished.fetch_add(1);
}

TEST(ThreadedFakeHost, ParallelRunRunsEveryInvocationAtOnceAndReturnsWhenAllFinished) {
  fakes::ResetFaults();
  FakeHost host;
  for (int threads : {1, 2, 4, 8}) {
    SCOPED_TRACE(threads);
    host.SetParallelThreads(threads);
    Rendezvous r;
    r.count = threads;
    r.indices_seen.assign(threads, 0);
    r.counts_seen.assign(threads, 0);
    int second = 0;
    EXPECT_EQ(1, host.services()->parallel_run(&MeetingRoutine, &r, &second));
    EXPECT_EQ(threads, r.finished.load());
    EXPECT_EQ(threads, r.met.load()) << "the invocations did not all run at the same time";
    for (int i = 0; i < threads; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(1, r.indices_seen[i]);
      EXPECT_EQ(threads, r.counts_seen[i]);
      EXPECT_EQ(&second, r.second_seen[i]);
    }
    EXPECT_EQ(static_cast<ParallelRoutine>(&MeetingRoutine), host.parallel_runs.back().routine);
    EXPECT_EQ(&r, host.parallel_runs.back().first);
    EXPECT_EQ(threads, host.parallel_runs.back().threads);
  }
}

}  // namespace
