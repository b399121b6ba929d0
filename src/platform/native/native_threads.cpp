// Stand-in for events, critical sections, threads and interlocked operations
// over POSIX threads.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

#include "native_state.h"
#include "win32.h"

namespace native_platform {
namespace {

struct KernelObject {
  virtual ~KernelObject() = default;
};

struct EventObject : KernelObject {
  std::mutex mutex;
  std::condition_variable signalled_cv;
  bool manual_reset = false;
  bool signalled = false;
};

struct ThreadObject : KernelObject {
  pthread_t thread{};
  unsigned (*start)(void*) = nullptr;
  void* argument = nullptr;
  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;
  bool joined = false;
  int priority = THREAD_PRIORITY_NORMAL;
};

std::mutex& HandlesMutex() {
  static std::mutex mutex;
  return mutex;
}
std::set<KernelObject*>& Handles() {
  static std::set<KernelObject*> handles;
  return handles;
}

template <typename T>
T* Lookup(HANDLE handle) {
  std::lock_guard<std::mutex> lock(HandlesMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!Handles().count(object)) return nullptr;
  return dynamic_cast<T*>(object);
}

std::atomic<int> set_priority_calls{0};
thread_local int current_thread_priority = THREAD_PRIORITY_NORMAL;
thread_local ThreadObject* current_thread_object = nullptr;

HANDLE const kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

void* ThreadTrampoline(void* raw) {
  auto* thread = static_cast<ThreadObject*>(raw);
  current_thread_object = thread;
  {
    // The creator may already be setting the new thread's priority.
    std::lock_guard<std::mutex> lock(thread->mutex);
    current_thread_priority = thread->priority;
  }
  unsigned code = thread->start(thread->argument);
  _endthreadex(code);
  return nullptr;
}

bool ValidPriority(int priority) {
  // The values a thread of a normal-priority process accepts.
  return (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
         priority == THREAD_PRIORITY_TIME_CRITICAL || priority == -15;
}

}  // namespace

bool CloseKernelHandle(HANDLE handle) {
  KernelObject* object = static_cast<KernelObject*>(handle);
  {
    std::lock_guard<std::mutex> lock(HandlesMutex());
    if (!Handles().erase(object)) return false;
  }
  if (auto* thread = dynamic_cast<ThreadObject*>(object)) {
    std::unique_lock<std::mutex> lock(thread->mutex);
    if (!thread->joined) {
      // Closing the handle of a running thread leaves the thread running.
      pthread_detach(thread->thread);
      thread->joined = true;
      lock.unlock();
      // The detached thread still reads its record; keep it alive.
      return true;
    }
  }
  delete object;
  return true;
}

void ResetHandles() {
  std::lock_guard<std::mutex> lock(HandlesMutex());
  Handles().clear();
  set_priority_calls = 0;
}

int OpenKernelHandles() {
  std::lock_guard<std::mutex> lock(HandlesMutex());
  return static_cast<int>(Handles().size());
}

int RecordedThreadPriority(HANDLE handle) {
  if (handle == kCurrentThreadPseudoHandle) return current_thread_priority;
  auto* thread = Lookup<ThreadObject>(handle);
  if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
  std::lock_guard<std::mutex> lock(thread->mutex);
  return thread->priority;
}

int SetThreadPriorityCalls() { return set_priority_calls.load(); }

}  // namespace native_platform

using namespace native_platform;

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state,
                           LPCWSTR name) {
  if (name) Unsupported("named events");
  if (ShouldFail("CreateEventW")) return nullptr;
  auto* event = new EventObject;
  event->manual_reset = manual_reset != FALSE;
  event->signalled = initial_state != FALSE;
  std::lock_guard<std::mutex> lock(HandlesMutex());
  Handles().insert(event);
  return event;
}

BOOL WINAPI SetEvent(HANDLE handle) {
  auto* event = Lookup<EventObject>(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = true;
  event->signalled_cv.notify_all();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE handle) {
  auto* event = Lookup<EventObject>(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = false;
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (milliseconds != INFINITE) Unsupported("WaitForSingleObject with a time limit");
  if (ShouldFail("WaitForSingleObject")) return WAIT_FAILED;
  if (auto* event = Lookup<EventObject>(handle)) {
    std::unique_lock<std::mutex> lock(event->mutex);
    event->signalled_cv.wait(lock, [event] { return event->signalled; });
    if (!event->manual_reset) event->signalled = false;
    return WAIT_OBJECT_0;
  }
  if (auto* thread = Lookup<ThreadObject>(handle)) {
    std::unique_lock<std::mutex> lock(thread->mutex);
    if (!thread->joined) {
      thread->joined = true;
      lock.unlock();
      pthread_join(thread->thread, nullptr);
    }
    return WAIT_OBJECT_0;
  }
  return WAIT_FAILED;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  section->native = new std::recursive_mutex;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->native)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->native)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->native);
  section->native = nullptr;
}

HANDLE WINAPI GetCurrentThread() { return kCurrentThreadPseudoHandle; }

int WINAPI GetThreadPriority(HANDLE handle) { return RecordedThreadPriority(handle); }

BOOL WINAPI SetThreadPriority(HANDLE handle, int priority) {
  ++set_priority_calls;
  if (!ValidPriority(priority)) return FALSE;
  if (handle == kCurrentThreadPseudoHandle) {
    current_thread_priority = priority;
    return TRUE;
  }
  auto* thread = Lookup<ThreadObject>(handle);
  if (!thread) return FALSE;
  std::lock_guard<std::mutex> lock(thread->mutex);
  thread->priority = priority;
  return TRUE;
}

uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned (*start)(void*),
                         void* argument, unsigned init_flags, unsigned* thread_id) {
  if (security || stack_size || init_flags) Unsupported("_beginthreadex options");
  if (ShouldFail("_beginthreadex")) return 0;
  auto* thread = new ThreadObject;
  thread->start = start;
  thread->argument = argument;
  {
    std::lock_guard<std::mutex> lock(HandlesMutex());
    Handles().insert(thread);
  }
  if (pthread_create(&thread->thread, nullptr, ThreadTrampoline, thread) != 0) {
    std::lock_guard<std::mutex> lock(HandlesMutex());
    Handles().erase(thread);
    delete thread;
    return 0;
  }
  if (thread_id) *thread_id = 1;
  return reinterpret_cast<uintptr_t>(static_cast<HANDLE>(static_cast<KernelObject*>(thread)));
}

void _endthreadex(unsigned) {
  if (ThreadObject* thread = current_thread_object) {
    std::lock_guard<std::mutex> lock(thread->mutex);
    thread->ended = true;
    thread->ended_cv.notify_all();
  }
  pthread_exit(nullptr);
}

LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

void* InterlockedExchangePointer(void* volatile* target, void* value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
