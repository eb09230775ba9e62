#pragma once
// Multicast delegates: any number of parties add a handler (a method bound to an object),
// the owner calls them all in the order they were first added.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace ZEL {

template <class Sig>
class TMethod;

// A method bound to an object. Two methods are equal when they name the same member
// function bound to the same object, so a handler can be removed by building it again.
template <class R, class... Args>
class TMethod<R(Args...)> {
public:
  TMethod() = default;

  template <class C>
  static TMethod Of(C* AObject, R (C::*AMethod)(Args...)) {
    return Make<C, R (C::*)(Args...)>(AObject, AMethod);
  }
  template <class C>
  static TMethod Of(const C* AObject, R (C::*AMethod)(Args...) const) {
    return Make<const C, R (C::*)(Args...) const>(AObject, AMethod);
  }

  R operator()(Args... AArgs) const { return FInvoke(FObject, FCode, std::forward<Args>(AArgs)...); }

  explicit operator bool() const { return FInvoke != nullptr; }
  const void* Object() const { return FObject; }

  friend bool operator==(const TMethod& A, const TMethod& B) {
    return A.FObject == B.FObject && A.FInvoke == B.FInvoke &&
           std::memcmp(A.FCode, B.FCode, sizeof(FCode)) == 0;
  }

private:
  struct TProbe {
    virtual ~TProbe() = default;
  };
  // Large enough for any member-function pointer of the ABIs we build for.
  static constexpr std::size_t CodeSize = sizeof(void (TProbe::*)()) * 2;
  using TInvoke = R (*)(const void*, const unsigned char*, Args...);

  template <class C, class M>
  static TMethod Make(C* AObject, M AMethod) {
    static_assert(sizeof(M) <= CodeSize, "member-function pointer too large");
    TMethod m;
    m.FObject = AObject;
    std::memcpy(m.FCode, &AMethod, sizeof(M));
    // One invoker per class and pointer type: it also tells apart equal bytes of other classes.
    m.FInvoke = [](const void* AObj, const unsigned char* ACode, Args... AArgs) -> R {
      M method;
      std::memcpy(&method, ACode, sizeof(M));
      C* obj = static_cast<C*>(const_cast<void*>(AObj));
      return (obj->*method)(std::forward<Args>(AArgs)...);
    };
    return m;
  }

  const void* FObject = nullptr;
  unsigned char FCode[CodeSize] = {};
  TInvoke FInvoke = nullptr;
};

// The face a delegate shows to those who add handlers. Holding it neither keeps the
// delegate alive nor frees it; interfaces that extend it derive virtually.
template <class THandler>
class IEventDelegate {
public:
  virtual void AddHandler(const THandler& AHandler) = 0;
  virtual void RemoveHandler(const THandler& AHandler) = 0;

protected:
  virtual ~IEventDelegate() = default;
};

template <class THandler>
class TEventDelegate : public virtual IEventDelegate<THandler> {
public:
  // Gets one handler, returns false to stop the emission.
  using TEventProcDelegate = std::function<bool(const THandler&)>;

  explicit TEventDelegate(const void* AOwner = nullptr) : FOwner(AOwner) {}
  ~TEventDelegate() override = default;
  TEventDelegate(const TEventDelegate&) = delete;
  TEventDelegate& operator=(const TEventDelegate&) = delete;

  // Appends the handler unless an equal one is registered already.
  void AddHandler(const THandler& AHandler) override {
    std::lock_guard<std::mutex> guard(FLock);
    if (std::find(FHandlers.begin(), FHandlers.end(), AHandler) == FHandlers.end())
      FHandlers.push_back(AHandler);
  }

  // Removes the first equal handler; nothing when none is registered. A call of it that an
  // emission on another thread has begun is waited for, so that once this returns the
  // handler runs no more and its object may go. (On the emitting thread itself, from inside
  // a handler, it returns at once.)
  void RemoveHandler(const THandler& AHandler) override {
    std::unique_lock<std::mutex> lock(FLock);
    auto it = std::find(FHandlers.begin(), FHandlers.end(), AHandler);
    if (it != FHandlers.end()) FHandlers.erase(it);
    const auto self = std::this_thread::get_id();
    FCallEnded.wait(lock, [&] {
      return std::none_of(FCalls.begin(), FCalls.end(),
                          [&](const TCall& ACall) { return ACall.Thread != self && *ACall.Handler == AHandler; });
    });
  }

  void Clear() {
    std::lock_guard<std::mutex> guard(FLock);
    FHandlers.clear();
  }

  // An equal handler is registered (a bulk load may have cleared them all meanwhile).
  bool HasHandler(const THandler& AHandler) const {
    std::lock_guard<std::mutex> guard(FLock);
    return std::find(FHandlers.begin(), FHandlers.end(), AHandler) != FHandlers.end();
  }

  const void* Owner() const { return FOwner; }

protected:
  // Calls AProc per handler registered when the emission starts, in order, until it gives
  // false. Handlers may add or remove handlers meanwhile, also from other threads: the
  // emission walks its own copy, and skips a handler removed since the copy was taken.
  // An exception from AProc ends the emission and reaches the caller.
  virtual void Emit(const TEventProcDelegate& AProc) {
    std::vector<THandler> snapshot;
    {
      std::lock_guard<std::mutex> guard(FLock);
      snapshot = FHandlers;
    }
    for (const THandler& handler : snapshot) {
      // The check and the start of the call are one step under the lock: a removal either
      // comes first (the handler is skipped) or waits for the call to end.
      if (!BeginCall(handler)) continue;
      bool goOn = false;
      try {
        goOn = AProc(handler);
      } catch (...) {
        EndCall(handler);
        throw;
      }
      EndCall(handler);
      if (!goOn) break;
    }
  }

private:
  struct TCall {
    const THandler* Handler;
    std::thread::id Thread;
  };

  bool BeginCall(const THandler& AHandler) {
    std::lock_guard<std::mutex> guard(FLock);
    if (std::find(FHandlers.begin(), FHandlers.end(), AHandler) == FHandlers.end()) return false;
    FCalls.push_back({&AHandler, std::this_thread::get_id()});
    return true;
  }

  void EndCall(const THandler& AHandler) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      const auto it = std::find_if(FCalls.begin(), FCalls.end(), [&](const TCall& ACall) { return ACall.Handler == &AHandler; });
      if (it != FCalls.end()) FCalls.erase(it);
    }
    FCallEnded.notify_all();
  }

  mutable std::mutex FLock;
  std::condition_variable FCallEnded;
  std::vector<TCall> FCalls;  // calls in progress, of every emitting thread
  std::vector<THandler> FHandlers;
  const void* FOwner;
};

}  // namespace ZEL
