#pragma once
// What a view and its host window know of each other, without widgets.

#include "ZEL.Views.Types.h"

#include <memory>
#include <string>

namespace ZEL {

class IApplicationData;
class IAuthService;
class IZELRESTService;

// Both host windows and every view show the progress overlay.
class IBaseFormView {
public:
  virtual ~IBaseFormView() = default;
  virtual void ShowProgress(const std::string& AMessage, bool ASync) = 0;
  virtual void HideProgress() = 0;
};

// The host window as its views see it.
class IViewHost : public IBaseFormView {
public:
  virtual void Back() = 0;
  virtual void ChangeView(TView ATo) = 0;
  // The held services; empty when not held.
  virtual std::shared_ptr<IApplicationData> AppData() = 0;
  virtual std::shared_ptr<IAuthService> AuthService() = 0;
  virtual std::shared_ptr<IZELRESTService> RESTService() = 0;
  virtual void Signout() = 0;
};

// A view as its host switches it.
class IFormView {
public:
  virtual ~IFormView() = default;
  virtual TView GetView() const = 0;
  virtual bool CanGoBack() = 0;
  virtual void BackAction() = 0;
  virtual void Enter(TView AFromView) = 0;
  virtual void Leave(TView AToView) = 0;
  virtual void ShowView() = 0;
  virtual void HideView() = 0;
  // Entered and not left since: the view is active.
  virtual bool NeedLeave() const = 0;
};

// The two flags of a view: created (neither), active (entered), left.
class TViewFlags {
public:
  void Enter() {
    FDidLeave = false;
    FDidEnter = true;
  }
  void Leave() {
    FDidLeave = true;
    FDidEnter = false;
  }
  bool DidEnter() const { return FDidEnter; }
  bool DidLeave() const { return FDidLeave; }
  bool NeedLeave() const { return FDidEnter && !FDidLeave; }

private:
  bool FDidLeave = false;
  bool FDidEnter = false;
};

}  // namespace ZEL
