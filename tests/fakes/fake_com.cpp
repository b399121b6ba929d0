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
}

bool ShouldFail(const char* method, HRESULT* status) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  ++Calls()[method];
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

}  // namespace fakes
