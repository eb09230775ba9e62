#pragma once
// The common look of the sign-in views: a green header with the caption, a white card
// overlapping it, and room below.

#include <QString>

class QPushButton;
class QWidget;
class QVBoxLayout;

namespace ZEL::SignInLook {

struct TParts {
  QWidget* Contents = nullptr;   // lyContents: the widget lent to the start-up window
  QWidget* Header = nullptr;     // where a back button goes
  QVBoxLayout* Card = nullptr;   // the card's controls go here, from the top
};

TParts Build(QWidget* AOwner, const QString& ACaption, int ACardHeight);

// The back button at the top left of the header, in its own layout (lyBack / btnBack).
struct TBack {
  QWidget* Layout = nullptr;
  QPushButton* Button = nullptr;
};
TBack AddBack(QWidget* AHeader);

}  // namespace ZEL::SignInLook
