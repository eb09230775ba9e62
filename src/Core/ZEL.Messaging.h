#pragma once
// In-process messages. A sender builds a message, the manager delivers it synchronously
// on the sender's thread to the handlers subscribed for its exact class, in subscription
// order, and frees it afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <typeindex>
#include <typeinfo>
#include <utility>

namespace ZEL {

// Who sent a message: an identity only, never dereferenced by the receivers' plumbing.
using TSender = const void*;

class TMessageBase {
public:
  virtual ~TMessageBase() = default;
};

template <class T>
class TMessage : public TMessageBase {
public:
  explicit TMessage(T AValue) : FValue(std::move(AValue)) {}
  const T& Value() const { return FValue; }

private:
  T FValue;
};

using TMessageListener = std::function<void(TSender, const TMessageBase&)>;

// The process's message manager.
class TMessageManager {
public:
  static TMessageManager& DefaultManager();

  // Subscribes for messages whose class is exactly AClass; gives the subscription id (>= 0).
  std::int64_t SubscribeToMessage(std::type_index AClass, TMessageListener AListener);
  // Removes a subscription; AInstant makes no difference, it leaves delivery at once. No
  // delivery calls it after this returns, also not one running on this thread's stack; a
  // call already under way on another thread may still be finishing.
  void Unsubscribe(std::type_index AClass, std::int64_t ASubID, bool AInstant);
  // Delivers to the subscribers of the message's exact class, in subscription order, on
  // the caller's thread, then frees the message (also when a handler throws; the exception
  // reaches the caller). Handlers run without the manager's lock, so they may send,
  // subscribe and unsubscribe, and may wait for the UI thread while it sends.
  void SendMessage(TSender ASender, std::unique_ptr<TMessageBase> AMessage);

  struct TImpl;

private:
  TMessageManager();
  std::unique_ptr<TImpl> FImpl;
};

// One subscription, as windows and views keep it.
struct TZELMessagerRef {
  const std::type_info* MessageClass = nullptr;
  std::int64_t SubID = -1;
  std::int16_t MethodType = -1;  // -1 none, 0 listener procedure, 1 handler method
  const void* MethodPtr = nullptr;

  void Reset() { *this = TZELMessagerRef{}; }
};

// The typed messenger of one message class.
template <class T>
class TZELMessager {
public:
  using TConstructProc = std::function<std::unique_ptr<T>()>;
  using TListener = std::function<void(TSender, const T&)>;

  // Builds the message right before delivery; nothing happens when AProc is empty.
  static void Send(const TConstructProc& AProc, TSender ASender = nullptr) {
    if (!AProc) return;
    std::unique_ptr<T> msg = AProc();
    if (!msg) return;
    TMessageManager::DefaultManager().SendMessage(ASender, std::move(msg));
  }

  // A listener procedure.
  static TZELMessagerRef Subscribe(TListener AListener) {
    TZELMessagerRef ref;
    ref.MessageClass = &typeid(T);
    ref.SubID = TMessageManager::DefaultManager().SubscribeToMessage(
        typeid(T), [l = std::move(AListener)](TSender s, const TMessageBase& m) {
          l(s, static_cast<const T&>(m));
        });
    ref.MethodType = 0;
    return ref;
  }

  // A handler method of AObject.
  template <class C>
  static TZELMessagerRef Subscribe(C* AObject, void (C::*AMethod)(TSender, const T&)) {
    TZELMessagerRef ref = Subscribe([AObject, AMethod](TSender s, const T& m) { (AObject->*AMethod)(s, m); });
    ref.MethodType = 1;
    ref.MethodPtr = AObject;
    return ref;
  }

  // Removes the subscription the reference records (whatever its class) and resets it;
  // a reset reference is left as it is.
  static void Unsubscribe(TZELMessagerRef& ASubRef, bool AInstant = false) {
    if (ASubRef.SubID < 0 || !ASubRef.MessageClass) return;
    TMessageManager::DefaultManager().Unsubscribe(*ASubRef.MessageClass, ASubRef.SubID, AInstant);
    ASubRef.Reset();
  }
};

}  // namespace ZEL
