#include "ZEL.View.SignInLook.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ZEL::SignInLook {

TParts Build(QWidget* AOwner, const QString& ACaption, int ACardHeight) {
  TParts LParts;
  LParts.Contents = new QWidget(AOwner);
  LParts.Contents->setObjectName("lyContents");
  auto* LOuter = new QVBoxLayout(LParts.Contents);
  LOuter->setContentsMargins(0, 0, 0, 0);
  auto* LScroll = new QScrollArea(LParts.Contents);
  LScroll->setObjectName("vertscrlContent");
  LScroll->setWidgetResizable(true);
  LScroll->setFrameShape(QFrame::NoFrame);
  LOuter->addWidget(LScroll);

  auto* LInner = new QWidget();
  LInner->setObjectName("SignInInner");
  auto* LColumn = new QVBoxLayout(LInner);
  LColumn->setContentsMargins(0, 0, 0, 0);
  LColumn->setSpacing(0);

  LParts.Header = new QWidget(LInner);
  LParts.Header->setObjectName("SignInHeader");
  LParts.Header->setAttribute(Qt::WA_StyledBackground);
  LParts.Header->setFixedHeight(273 - 50);
  LParts.Header->setStyleSheet(
      "#SignInHeader { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #A4F6BD, stop:1 #35B733); }");
  auto* LHeaderColumn = new QVBoxLayout(LParts.Header);
  auto* LCaption = new QLabel(ACaption, LParts.Header);
  LCaption->setObjectName("LogoText");
  LCaption->setAlignment(Qt::AlignCenter);
  LCaption->setStyleSheet("color: white; font-size: 16pt;");
  LHeaderColumn->addStretch(1);
  LHeaderColumn->addWidget(LCaption);
  LHeaderColumn->addStretch(1);
  LColumn->addWidget(LParts.Header);

  auto* LCard = new QWidget(LInner);
  LCard->setObjectName("SignInCard");
  LCard->setAttribute(Qt::WA_StyledBackground);
  LCard->setFixedHeight(ACardHeight);
  LCard->setStyleSheet("#SignInCard { background: white; }");
  auto* LShadow = new QGraphicsDropShadowEffect(LCard);
  LShadow->setOffset(1, 1);
  LShadow->setBlurRadius(6);
  LShadow->setColor(QColor(0, 0, 0, 153));
  LCard->setGraphicsEffect(LShadow);
  LParts.Card = new QVBoxLayout(LCard);
  LParts.Card->setContentsMargins(0, 0, 0, 0);
  auto* LCardHolder = new QVBoxLayout();
  LCardHolder->setContentsMargins(25, 0, 25, 0);
  LCardHolder->addWidget(LCard);
  LColumn->addLayout(LCardHolder);
  LColumn->addStretch(1);
  LScroll->setWidget(LInner);
  return LParts;
}

TBack AddBack(QWidget* AHeader) {
  TBack LBack;
  LBack.Layout = new QWidget(AHeader);
  LBack.Layout->setObjectName("lyBack");
  LBack.Layout->setGeometry(0, 0, 89, 54);
  auto* LRow = new QHBoxLayout(LBack.Layout);
  LRow->setContentsMargins(10, 10, 10, 10);
  LBack.Button = new QPushButton(QStringLiteral("Back"), LBack.Layout);
  LBack.Button->setObjectName("btnBack");
  LRow->addWidget(LBack.Button);
  return LBack;
}

}  // namespace ZEL::SignInLook
