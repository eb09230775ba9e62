#pragma once
// The Events view: the signed-in user's alerts of a date range, newest live alerts on top.
// It pulls the range on a pool thread, follows the alert list live, filters the rows with
// the filter options and the search box, counts them, asks for a toast when a new alert
// would go unnoticed, and opens an alert on a double click.

#include "ZEL.Events.Filter.h"
#include "ZEL.Events.RowList.h"
#include "ZEL.Generics.Collections.h"
#include "ZEL.Messaging.h"
#include "ZEL.View.Base.h"

#include <memory>
#include <set>
#include <string>

class QLabel;
class QLineEdit;
class QToolButton;

namespace ZEL {

class IZELEventsService;
class TEventAddedMessage;
class TEventRefreshMessage;
class TEventsRowDelegate;
class TEventsRowFilter;
class TEventsRowModel;
class TFrameStand;
class TZELEvent;
class TZELEventList;
class TfraEventsFilter;

class TEventsViewForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TEventsViewForm";
  static constexpr int cPullDistance = 60;  // pixels a drag at the top must pull down
  // The toast of a failed pull, followed by the reason.
  static constexpr std::string_view cPullFailedMessage = "Unable to update the alerts; the list may be out of date.";

  explicit TEventsViewForm(QWidget* AParent = nullptr);
  ~TEventsViewForm() override;

  void InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) override;
  std::string FormCaption() override { return "Events"; }
  QWidget* FormContent() override;
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  // Starts a pull of the options' date range (refused while one runs or without edges).
  void ReceiveEvents();
  // Rebuilds every row from the alert list, in its order.
  void FillEventsFromList();
  void ApplyFilter();
  void ResetFilter(bool AKeep);
  bool RowFilterOn() const { return FRowFilterOn; }
  void RefreshCounters();
  bool IsFirstItemInvisible() const;
  // The filter test of the options in force, for one alert.
  bool AllowItemOnView(const TZELEvent& AEvent) const;

  // The "Filter..." button: a new filter frame over the view.
  void sbrnFilterClick();
  // The frame's callback: takes its options, pulls when the range moved, switches the filter.
  void FilterFrameDone(TfraEventsFilter* AFrame, bool AApply);
  // Opens the alert of the row (a row of the list as shown).
  void OpenRow(int AOnViewRow);

  const TFilterOptions& FilterOptions() const { return FFilterOptions; }
  // The period the list was last pulled for by this view (MissingDate bounds: none).
  Events::Filter::TPulledPeriod PulledPeriod() const;
  bool Receiving() const { return FReceiving; }
  bool FirstTime() const { return FFirstTime; }
  const std::set<std::string>& FilterKeepList() const { return FFilterKeepList; }
  TEventsRowModel* Rows() const { return FRows; }
  TEventsRowFilter* OnView() const { return FOnView; }
  QListView* List() const { return lvEvents; }
  TFrameStand* FrameController() const { return frameController; }

  // The handler on the alert list's change delegate.
  void OnEventsListChange(const void* ASender, TZELEvent* const& AItem, TCollectionNotification AAction);

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  std::shared_ptr<IZELEventsService> EventsService();
  TZELEventList* EventsList();
  void AttachListHandler();
  // Rebuilds the rows and attaches the handler when a bulk load has dropped it.
  void EnsureFollowingList();
  void SetCatchUpPeriod();
  void DetachListHandler();
  void ClearDetailedChoice();
  void AddEvent(const TZELEvent& AEvent, bool AToTop);
  void RemoveEvent(const std::string& AID);
  void RefreshEvent(const std::string& AID, const TZELEvent& AItem);
  void StartPullTask(std::string ABegin, std::string AEnd);
  void Messaging_NewEvent(TSender ASender, const TEventAddedMessage& AMessage);
  void Messaging_RefreshEvent(TSender ASender, const TEventRefreshMessage& AMessage);

  QWidget* lyContents;
  QWidget* tbEvents;
  QToolButton* sbtnUpdate;
  QToolButton* sbrnFilter;
  QLabel* txtCount;
  QLineEdit* edtSearch;
  TEventsRowList* lvEvents;
  QLabel* txtMessage;

  TEventsRowModel* FRows;
  TEventsRowFilter* FOnView;
  TEventsRowDelegate* FDelegate;

  bool FFirstTime = true;
  std::weak_ptr<IZELEventsService> FEventsService;
  bool FReceiving = false;
  TFrameStand* frameController = nullptr;
  TFilterOptions FFilterOptions;
  // The period the alert list was last pulled for, and the service whose list that was: a
  // new session's list was never pulled for it.
  Events::Filter::TPulledPeriod FPulledPeriod;
  std::weak_ptr<IZELEventsService> FPulledFrom;
  std::set<std::string> FFilterKeepList;
  bool FRowFilterOn = false;
  TZELMessagerRef FEventRefreshMsg;
  TZELMessagerRef FNewEventMsg;
  // Work handed back by a pull checks this first: the view may be gone by then.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
  int FPressY = -1;  // a press at the top of the list, for the pull gesture
  bool FPulled = false;
};

}  // namespace ZEL
