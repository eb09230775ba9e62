#pragma once
// The in-process message classes the model and the services send to the windows and views.

#include "ZEL.PushNotification.h"
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "ZEL.Messaging.h"

namespace ZEL {

class TZELEvent;
class TZELConditionObject;
class TServiceRequestContainer;

// A new alert arrived; the alert belongs to the alert list.
class TEventAddedMessage : public TMessage<TZELEvent*> {
public:
  static constexpr std::string_view TypeName = "TEventAddedMessage";
  using TMessage<TZELEvent*>::TMessage;
};

// An alert changed; Value is its ID ("ObjectId").
class TEventRefreshMessage : public TMessage<std::string> {
public:
  static constexpr std::string_view TypeName = "TEventRefreshMessage";
  using TMessage<std::string>::TMessage;
};

// An attachment of an alert item changed its state.
class TEventItemExtraRefreshMessage : public TMessageBase {
public:
  static constexpr std::string_view TypeName = "TEventItemExtraRefreshMessage";
  TEventItemExtraRefreshMessage(std::string AItemID, std::string AExtraID)
      : EventItemID(std::move(AItemID)), EventItemExtraID(std::move(AExtraID)) {}

  std::string EventItemID;
  std::string EventItemExtraID;
};

// A service request about an alert was answered (or could not be registered).
// The sender builds the shared_ptr where the container's type is complete: with
// AOwnContainer the message is its last holder and frees it after delivery; otherwise it
// refers to a container that the edge's request registry keeps (see Unowned).
class TEventServiceActionPerformed : public TMessageBase {
public:
  static constexpr std::string_view TypeName = "TEventServiceActionPerformed";
  TEventServiceActionPerformed(std::string AEventID, bool ASuccess,
                               std::shared_ptr<TServiceRequestContainer> AContainer, bool AOwnContainer)
      : FOwnContainer(AOwnContainer), FEventID(std::move(AEventID)), FContainer(std::move(AContainer)),
        FSuccess(ASuccess) {}
  ~TEventServiceActionPerformed() override { FContainer.reset(); }

  // A reference to a container someone else frees.
  static std::shared_ptr<TServiceRequestContainer> Unowned(TServiceRequestContainer* AContainer) {
    return std::shared_ptr<TServiceRequestContainer>(AContainer, [](TServiceRequestContainer*) {});
  }

  const std::string& EventID() const { return FEventID; }
  TServiceRequestContainer* Container() const { return FContainer.get(); }
  bool Success() const { return FSuccess; }
  bool OwnContainer() const { return FOwnContainer; }

private:
  bool FOwnContainer;
  std::string FEventID;
  std::shared_ptr<TServiceRequestContainer> FContainer;
  bool FSuccess;
};

// A condition changed; the message carries its own copy of the new state, so the
// sender may drop what it passed as soon as Send returns.
class TConditionStateChangeMessage : public TMessage<TZELConditionObject*> {
public:
  static constexpr std::string_view TypeName = "TConditionStateChangeMessage";
  TConditionStateChangeMessage(TZELConditionObject* AValue, const nlohmann::ordered_json& AState)
      : TMessage<TZELConditionObject*>(AValue), FState(AState) {}

  const nlohmann::ordered_json& State() const { return FState; }

private:
  nlohmann::ordered_json FState;
};

// A toast is wanted; Value is its text.
class TShowToastMessageEvent : public TMessage<std::string> {
public:
  static constexpr std::string_view TypeName = "TShowToastMessageEvent";
  using TMessage<std::string>::TMessage;
};

// A toast that opens an alert. Delivered only to subscribers of this exact class.
class TNewEventToastMessageEvent : public TShowToastMessageEvent {
public:
  static constexpr std::string_view TypeName = "TNewEventToastMessageEvent";
  TNewEventToastMessageEvent(std::string AValue, std::string AEventID)
      : TShowToastMessageEvent(std::move(AValue)), FEventID(std::move(AEventID)) {}

  const std::string& EventID() const { return FEventID; }

private:
  std::string FEventID;
};


// The settings file could not be written; Value is what the user is told (the file and the
// system's reason). The values stay in memory and the program goes on.
class TSettingsNotSavedMessage : public TMessage<std::string> {
public:
  static constexpr std::string_view TypeName = "TSettingsNotSavedMessage";
  using TMessage<std::string>::TMessage;
};


class TFirebaseNotificationUserClicked : public TMessage<TPushServiceNotification> {
public:
  static constexpr std::string_view TypeName = "TFirebaseNotificationUserClicked";
  using TMessage<TPushServiceNotification>::TMessage;
};

// Value: the platform's own object for the tapped notification, opaque to us.
class TPlatformFirebaseNotificationUserClicked : public TMessage<std::shared_ptr<void>> {
public:
  static constexpr std::string_view TypeName = "TPlatformFirebaseNotificationUserClicked";
  using TMessage<std::shared_ptr<void>>::TMessage;
};

}  // namespace ZEL
