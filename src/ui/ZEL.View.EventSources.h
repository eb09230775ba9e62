#pragma once
// The Devices view: for every edge of the user its conditions (enabled, paused, disabled)
// and the devices of its providers (online or not), each with how long ago or for how
// long. Rebuilt at each entry; a condition's rows follow its changes whether the view is
// in front or not.

#include "ZEL.Messaging.h"
#include "ZEL.View.Base.h"

#include <string>

class QListView;

namespace ZEL {

class TConditionStateChangeMessage;
class TEventSourcesRowDelegate;
class TEventSourcesRowModel;

class TEventSourcesViewForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TEventSourcesViewForm";

  explicit TEventSourcesViewForm(QWidget* AParent = nullptr);
  ~TEventSourcesViewForm() override;

  std::string FormCaption() override { return "Devices"; }
  // The content lent to the host's tab, as the Events view does.
  QWidget* FormContent() override { return lyContents; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  // Rebuilds every row from the edge service's edges.
  void PopulateEdges();

  TEventSourcesRowModel* Rows() const { return FRows; }
  QListView* List() const { return lvEdges; }

private:
  void Messaging_ConditionStateChange(TSender ASender, const TConditionStateChangeMessage& AMessage);

  QWidget* lyContents;
  QListView* lvEdges;
  TEventSourcesRowModel* FRows;
  TEventSourcesRowDelegate* FDelegate;
  TZELMessagerRef FMsgCondStateChanged;
};

}  // namespace ZEL
