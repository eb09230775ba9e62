#include "ZEL.View.EventSources.h"

#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.EventSources.RowDelegate.h"
#include "ZEL.EventSources.Rows.h"
#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"

#include <QListView>
#include <QVBoxLayout>

#include <exception>

namespace ZEL {

namespace {

ILogWriter& Log() { return LogsPipe::ZELLog(); }

}  // namespace

TEventSourcesViewForm::TEventSourcesViewForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName(QStringLiteral("EventSources"));
  setWindowTitle(QStringLiteral("Devices"));
  resize(375, 568);
  auto* LLayout = View::Base::AddContentsPanel(this, lyContents);

  FRows = new TEventSourcesRowModel(this);
  FDelegate = new TEventSourcesRowDelegate(this);
  lvEdges = new QListView(lyContents);
  lvEdges->setObjectName(QStringLiteral("lvEdges"));
  lvEdges->setModel(FRows);
  lvEdges->setItemDelegate(FDelegate);
  lvEdges->setSpacing(1);
  lvEdges->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  lvEdges->setSelectionMode(QAbstractItemView::NoSelection);
  lvEdges->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LLayout->addWidget(lvEdges, 1);

  FMsgCondStateChanged = TZELMessager<TConditionStateChangeMessage>::Subscribe(
      this, &TEventSourcesViewForm::Messaging_ConditionStateChange);
}

TEventSourcesViewForm::~TEventSourcesViewForm() {
  TZELMessager<TConditionStateChangeMessage>::Unsubscribe(FMsgCondStateChanged);
}

void TEventSourcesViewForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  PopulateEdges();
}

void TEventSourcesViewForm::Leave(TView AToView) { TBaseFormView::Leave(AToView); }

void TEventSourcesViewForm::PopulateEdges() {
  constexpr std::string_view LTag = "TEventSourcesViewForm.PopulateEdges";
  std::vector<TEventSourceRow> LRows;
  try {
    if (auto LService = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>())
      LRows = EventSources::RowsOf(*LService);
    else
      Log().Error(LTag, "No edge service.");
  } catch (const std::exception& E) {
    // Rows already made are shown; the rest of the tree could not be read.
    Log().FatalFmt(LTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
  }
  Log().DebugFmt(LTag, "{} rows.", LRows.size());
  FRows->Reset(std::move(LRows));
}

void TEventSourcesViewForm::Messaging_ConditionStateChange(TSender, const TConditionStateChangeMessage& AMessage) {
  TZELConditionObject* LCondition = AMessage.Value();
  if (!LCondition) return;
  try {
    const auto LService = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
    FRows->RefreshCondition(*LCondition, LService.get());
  } catch (const std::exception& E) {
    Log().FatalFmt("TEventSourcesViewForm.Messaging_ConditionStateChange", "{}: {}", Exceptions::ClassNameOf(E),
                   E.what());
  }
}

}  // namespace ZEL
