#include "ZEL.Dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

#include <utility>
#include <vector>

namespace ZEL {

namespace {

class TMessageBoxDialogService : public IDialogService {
public:
  void ShowMessage(QWidget* AParent, const std::string& AText, std::function<void()> AOnClosed) override {
    auto* LBox = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Tarvelo Systems"),
                                 QString::fromStdString(AText), QMessageBox::Ok, AParent);
    LBox->setAttribute(Qt::WA_DeleteOnClose);
    LBox->setWindowModality(Qt::ApplicationModal);
    QObject::connect(LBox, &QDialog::finished, LBox, [OnClosed = std::move(AOnClosed)](int) {
      if (OnClosed) OnClosed();
    });
    FOpen.emplace_back(LBox);
    LBox->open();
  }

  void InputText(QWidget* AParent, const std::string& ACaption, const std::string& APrompt,
                 const std::string& ADefault, std::function<void(bool, std::string)> AOnClosed) override {
    auto* LBox = new QInputDialog(AParent);
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
    LBox->open();
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
