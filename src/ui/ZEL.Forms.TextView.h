#pragma once
// A window that shows a long text read-only. Every opening makes a new one; each lives until
// the user closes it or its parent (the main window) goes.

#include <QWidget>

#include <string>
#include <string_view>

class QPlainTextEdit;

namespace ZEL {

class TfrmTextView : public QWidget {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TfrmTextView";

  // A new window over AParent (a top-level window of its own, freed on close) showing
  // AContent as plain text.
  static TfrmTextView* ShowView(const std::string& AContent, QWidget* AParent);

  QPlainTextEdit* Memo() const { return editTextView; }

private:
  explicit TfrmTextView(QWidget* AParent);

  QPlainTextEdit* editTextView;
};

}  // namespace ZEL
