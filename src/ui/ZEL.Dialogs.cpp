#include "ZEL.Dialogs.h"

#include "ZEL.Forms.Placement.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

#include <utility>
#include <vector>

namespace ZEL {

namespace {

namespace Placement = Forms::Placement;

// The box's parent: the window AParent is shown in (a hidden view's is the window that shows
// its content), or AParent when nothing of it is shown.
QWidget* OwnerOf(QWidget* AParent) {
  QWidget* LOwn = Placement::OwnWindow(AParent);
  return LOwn ? LOwn : AParent;
}

// Opens ABox centred over its own window once its size is known, whole on the screen.
void OpenOver(QDialog* ABox, QWidget* AParent) {
  ABox->open();
  ABox->adjustSize();
  Placement::CentreOver(ABox, OwnerOf(AParent));
}

class TMessageBoxDialogService : public IDialogService {
public:
  void ShowMessage(QWidget* AParent, const std::string& AText, std::function<void()> AOnClosed) override {
    auto* LBox = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Tarvelo Systems"),
                                 QString::fromStdString(AText), QMessageBox::Ok, OwnerOf(AParent));
    LBox->setAttribute(Qt::WA_DeleteOnClose);
    LBox->setWindowModality(Qt::ApplicationModal);
    QObject::connect(LBox, &QDialog::finished, LBox, [OnClosed = std::move(AOnClosed)](int) {
      if (OnClosed) OnClosed();
    });
    FOpen.emplace_back(LBox);
    OpenOver(LBox, AParent);
  }

  void InputText(QWidget* AParent, const std::string& ACaption, const std::string& APrompt,
                 const std::string& ADefault, std::function<void(bool, std::string)> AOnClosed) override {
    auto* LBox = new QInputDialog(OwnerOf(AParent));
    LBox->setAttribute(Qt::WA_DeleteOnClose);
    LBox->setWindowModality(Qt::ApplicationModal);
    LBox->setInputMode(QInputDialog::TextInput);
    LBox->setWindowTitle(QString::fromStdString(ACaption));
    LBox->setLabelText(QString::fromStdString(APrompt));
    LBox->setTextValue(QString::fromStdString(ADefault));
    QObject::connect(LBox, &QDialog::finished, LBox, [LBox, OnClosed = std::move(AOnClosed)](int AResult) {
      if (OnClosed) OnClosed(AResult == QDialog::Accepted, LBox->textValue().toStdString());
    });
    FInputs.emplace_back(LBox);
    OpenOver(LBox, AParent);
  }

  void CloseAll() override {
    std::vector<QPointer<QMessageBox>> LOpen;
    LOpen.swap(FOpen);
    for (const QPointer<QMessageBox>& LBox : LOpen)
      if (LBox) LBox->done(QMessageBox::Ok);
    std::vector<QPointer<QInputDialog>> LInputs;
    LInputs.swap(FInputs);
    for (const QPointer<QInputDialog>& LBox : LInputs)
      if (LBox) LBox->done(QDialog::Rejected);
  }

private:
  std::vector<QPointer<QMessageBox>> FOpen;
  std::vector<QPointer<QInputDialog>> FInputs;
};

std::shared_ptr<IDialogService>& Current() {
  static std::shared_ptr<IDialogService> LService;
  return LService;
}

}  // namespace

}  // namespace ZEL

namespace ZEL::Dialogs {

IDialogService& Dialogs() {
  std::shared_ptr<IDialogService>& LService = Current();
  if (!LService) LService = std::make_shared<TMessageBoxDialogService>();
  return *LService;
}

void SetDialogService(std::shared_ptr<IDialogService> AService) { Current() = std::move(AService); }

}  // namespace ZEL::Dialogs
