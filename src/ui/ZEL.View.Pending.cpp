#include "ZEL.View.Pending.h"

#include "ZEL.LogsPipe.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ZEL {

TPendingViewForm::TPendingViewForm(std::string ACaption, bool ACanGoBack, bool AWithSignOut, QWidget* AParent)
    : TBaseFormView(AParent), FCaption(std::move(ACaption)), FCanGoBack(ACanGoBack) {
  setObjectName(QStringLiteral("PendingView"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  FContents = new QWidget(this);
  FContents->setObjectName(QStringLiteral("lyContents"));
  outer->addWidget(FContents);
  auto* layout = new QVBoxLayout(FContents);
  layout->addStretch(1);
  FCaptionLabel = new QLabel(QString::fromStdString(FCaption), FContents);
  FCaptionLabel->setObjectName(QStringLiteral("lbCaption"));
  FCaptionLabel->setAlignment(Qt::AlignCenter);
  layout->addWidget(FCaptionLabel);
  if (AWithSignOut) {
    FSignOut = new QPushButton(QStringLiteral("Sign out"), FContents);
    FSignOut->setObjectName(QStringLiteral("btnSignOut"));
    layout->addWidget(FSignOut, 0, Qt::AlignHCenter);
    connect(FSignOut, &QPushButton::clicked, this, [this] {
      if (IViewHost* host = GetViewHost()) host->Signout();
    });
  }
  layout->addStretch(1);
  // Only the content is ever on screen, inside the host.
  setVisible(false);
}

void TPendingViewForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  LogsPipe::ZELLog().DebugFmt(TypeName, "Enter. {} from {}", FCaption, ToString(AFromView));
}

void TPendingViewForm::Leave(TView AToView) {
  LogsPipe::ZELLog().DebugFmt(TypeName, "Leave. {} to {}", FCaption, ToString(AToView));
  TBaseFormView::Leave(AToView);
}

}  // namespace ZEL
