#include "ZEL.Forms.TextView.h"

#include "ZEL.Forms.Placement.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace ZEL {

TfrmTextView::TfrmTextView(QWidget* AParent) : QWidget(AParent, Qt::Window) {
  setObjectName(QStringLiteral("frmTextView"));
  setWindowTitle(QStringLiteral("Text view"));
  // Freed on close; never what keeps the program running.
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(380, 396);
  auto* LLayout = new QVBoxLayout(this);
  LLayout->setContentsMargins(0, 0, 0, 0);
  editTextView = new QPlainTextEdit(this);
  editTextView->setObjectName(QStringLiteral("editTextView"));
  editTextView->setReadOnly(true);
  editTextView->setPlainText(QStringLiteral("<Nothing to show here>"));
  LLayout->addWidget(editTextView);
}

TfrmTextView* TfrmTextView::ShowView(const std::string& AContent, QWidget* AParent) {
  auto* LForm = new TfrmTextView(AParent);
  LForm->editTextView->setPlainText(QString::fromStdString(AContent));
  Forms::Placement::CentreOver(LForm, AParent);
  LForm->show();
  return LForm;
}

}  // namespace ZEL
