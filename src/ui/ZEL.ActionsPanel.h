#pragma once
// What the actions panels of the alert timeline and of the item details share: the service
// row (caption over a description that wraps, the arrow at the right end), rows kept as high
// as their wrapped text needs at the list's width, and the message for a request that did
// not go out.

#include <QObject>

#include <functional>
#include <string>

class QListWidget;
class QWidget;

namespace ZEL::ActionsPanel {

inline constexpr const char* cNotSentText =
    "The request could not be sent. Please check the connection and try again.";

// A service row's widget: "Caption", "Description" (word-wrapped) and "DoAction".
QWidget* RowWidget(const std::string& ACaption, const std::string& ADescription);

// Keeps the rows of a list as high as their widgets need at the width the list gives them,
// at least AMinHeight each, and fits them again whenever that width changes; AOnFitted then
// gets the height the rows need together (with the list's frame).
class TRowFitter : public QObject {
public:
  TRowFitter(QListWidget* AList, int AMinHeight, std::function<void(int)> AOnFitted);
  // Fits the rows at the list's present width; the height they need together.
  int Fit();

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  QListWidget* FList;
  int FMinHeight;
  std::function<void(int)> FOnFitted;
  bool FQueued = false;  // a fit after a resize is on its way
};

}  // namespace ZEL::ActionsPanel
