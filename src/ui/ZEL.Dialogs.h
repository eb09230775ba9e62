#pragma once
// Message boxes without nested event loops: a box is shown window-modal over the whole
// application and its continuation runs when the user closes it. Tests put a service of
// their own in its place and answer the boxes themselves.

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace ZEL {

class IDialogService {
public:
  virtual ~IDialogService() = default;
  // Shows AText; AOnClosed (may be empty) runs on the UI thread once the box is closed.
  virtual void ShowMessage(QWidget* AParent, const std::string& AText, std::function<void()> AOnClosed) = 0;
  // Asks for one line of text under ACaption with APrompt, prefilled with ADefault;
  // AOnClosed runs on the UI thread once the box is closed: with true and the text (which
  // may be empty) when confirmed, with false when cancelled. A service that answers no
  // input (a test's message-only one) cancels.
  virtual void InputText(QWidget* AParent, const std::string& ACaption, const std::string& APrompt,
                         const std::string& ADefault, std::function<void(bool AOk, std::string AValue)> AOnClosed) {
    (void)AParent, (void)ACaption, (void)APrompt, (void)ADefault;
    if (AOnClosed) AOnClosed(false, {});
  }
  // Closes every box still open, each running its continuation (an input box as cancelled).
  virtual void CloseAll() = 0;
};

}  // namespace ZEL

namespace ZEL::Dialogs {

// The service in use: the message-box one unless a test set another.
IDialogService& Dialogs();
// Replaces the service; empty puts the message-box one back.
void SetDialogService(std::shared_ptr<IDialogService> AService);

}  // namespace ZEL::Dialogs
