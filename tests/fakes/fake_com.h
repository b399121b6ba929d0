// Shared machinery of the fake COM objects: reference counting with a count
// of live objects, and failure injection by method name and call number.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/win32_api.h"

namespace fakes {

// Fake COM objects alive now, of every kind.
int LiveObjects();

// Makes the nth next call (1 = the very next) of the named method fail with
// the given status. Names are "Interface::Method", e.g.
// "IDirect3DDevice9::CreateTexture", or the exported function's name.
void FailCall(const std::string& method, int nth, HRESULT status);
// Forgets every planned failure, every call count and the recording.
void ResetFaults();
// True, with *status set, when this call is the one planned to fail.
bool ShouldFail(const char* method, HRESULT* status);
// How often the named method has been called since the last reset.
int CallCount(const std::string& method);
// Planned failures that have not fired yet.
int PendingFailures();

// Fail-point recording, for fault-injection sweeps: while on, every fail
// point reached, in any fake or thread, appends its name. Starting clears
// the previous recording.
void StartRecordingFailPoints();
std::vector<std::string> StopRecordingFailPoints();

// "Fail call nth of method": one run of a sweep.
struct FailPlan {
  std::string method;
  int nth;
};
// One plan per fail point reached in the recording, in the order reached:
// the kth occurrence of M gives {M, k}.
std::vector<FailPlan> SweepPlans(const std::vector<std::string>& recording);

void TrackObjectCreated();
void TrackObjectDestroyed();

// Base of every fake: counts its own references and the live objects.
template <typename Interface>
class FakeComObject : public Interface {
 public:
  FakeComObject() { TrackObjectCreated(); }
  virtual ~FakeComObject() { TrackObjectDestroyed(); }
  FakeComObject(const FakeComObject&) = delete;
  FakeComObject& operator=(const FakeComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  ULONG references() const { return references_.load(); }

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace fakes

// Returns the planned failure status from the calling fake method.
#define FAKE_FAIL_POINT(name)                                                \
  do {                                                                       \
    HRESULT planned_status_;                                                 \
    if (::fakes::ShouldFail(name, &planned_status_)) return planned_status_; \
  } while (0)
