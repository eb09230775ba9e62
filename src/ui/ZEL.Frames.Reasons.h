#pragma once
// The common body of the dismiss and escalate reason frames: a prompt and one row per
// reason of the chosen service's table; the custom-reason row asks for the text in an input
// dialog. The chosen code and text go to the frame's handler.

#include "ZEL.EventItems.Decisions.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace ZEL {

class TZELEvent;
class TZELServiceObject;

class TfraReasonSelection : public QWidget {
  Q_OBJECT
public:
  using TUserActionProc = std::function<void(std::int32_t ACode, const std::string& AReason)>;
  static constexpr int cRowHeight = 44;

  // Lists the reasons of AService (the service of the chosen row; none: the edge's first of
  // the frame's kind) for the alert's state. Without an edge or a table the frame stays
  // empty and says so.
  void FillReasons(const TZELEvent& AEvent, const TZELServiceObject* AService = nullptr);
  // The prompt's height + the rows' heights.
  int GetFrameHeight() const;
  void SetHandler(TUserActionProc AProc) { FHandler = std::move(AProc); }

  // Chooses the row at AIndex as a click would.
  void ChooseRow(int AIndex);

  TEventAlertState FilledState() const { return FEventState; }
  EventItems::Decisions::TReasonKind Kind() const { return FKind; }
  const EventItems::Decisions::TReasonFrame& Content() const { return FContent; }
  QLabel* Prompt() const { return lbContentLabel; }
  QListWidget* Reasons() const { return lvReasons; }

protected:
  TfraReasonSelection(EventItems::Decisions::TReasonKind AKind, const char* AName, const char* ALayoutPrompt,
                      QWidget* AParent);

private:
  void lvReasonsItemClick(QListWidgetItem* AItem);
  void Send(const EventItems::Decisions::TChoice& AChoice);

  EventItems::Decisions::TReasonKind FKind;
  EventItems::Decisions::TReasonFrame FContent;
  TEventAlertState FEventState = TEventAlertState::easInitiated;
  TUserActionProc FHandler;
  QWidget* lyContent = nullptr;
  QLabel* lbContentLabel = nullptr;
  QListWidget* lvReasons = nullptr;
  QLabel* txtNoReasons = nullptr;
};

}  // namespace ZEL
