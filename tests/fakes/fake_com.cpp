#include "fakes/fake_com.h"

#include <map>
#include <mutex>

namespace fakes {
namespace {

std::atomic<int> live_objects{0};

struct PlannedFailure {
  int calls_left;
  HRESULT status;
};

std::mutex& FaultMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, PlannedFailure>& Planned() {
  static std::map<std::string, PlannedFailure> planned;
  return planned;
}
std::map<std::string, int>& Calls() {
  static std::map<std::string, int> calls;
  return calls;
}
bool recording = false;
std::vector<std::string>& Recording() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace

int LiveObjects() { return live_objects.load(); }
void TrackObjectCreated() { ++live_objects; }
void TrackObjectDestroyed() { --live_objects; }

void FailCall(const std::string& method, int nth, HRESULT status) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  Planned()[method] = {nth, status};
}

void ResetFaults() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  Planned().clear();
  Calls().clear();
  recording = false;
  Recording().clear();
}

bool ShouldFail(const char* method, HRESULT* status) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  ++Calls()[method];
  if (recording) Recording().push_back(method);
  auto it = Planned().find(method);
  if (it == Planned().end()) return false;
  if (--it->second.calls_left > 0) return false;
  *status = it->second.status;
  Planned().erase(it);
  return true;
}

int CallCount(const std::string& method) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  auto it = Calls().find(method);
  return it == Calls().end() ? 0 : it->second;
}

int PendingFailures() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  return static_cast<int>(Planned().size());
}

void StartRecordingFailPoints() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  Recording().clear();
  recording = true;
}

std::vector<std::string> StopRecordingFailPoints() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  recording = false;
  std::vector<std::string> names;
  names.swap(Recording());
  return names;
}

std::vector<FailPlan> SweepPlans(const std::vector<std::string>& recording) {
  std::map<std::string, int> seen;
  std::vector<FailPlan> plans;
  plans.reserve(recording.size());
  for (const std::string& method : recording) plans.push_back({method, ++seen[method]});
  return plans;
}

}  // namespace fakes
