#include "ZEL.Forms.WebView.h"

#include "ZEL.Events.Extra.h"
#include "ZEL.Forms.Placement.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Style.h"
#include "ZEL.View.Base.h"

#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QSslCertificate>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <unistd.h>
#include <memory>

namespace ZEL {

namespace {

constexpr std::string_view cTag = "TWebViewForm";

ILogWriter& Log() { return LogsPipe::ZELLog(); }

QPointer<TWebViewForm> GWebViewForm;

QUrl BackendOrigin() { return QUrl(QString::fromStdString(Events::BackendBaseURL())); }

QString Text(std::string_view AText) {
  return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size()));
}

std::string CAFile() {
  const char* LFile = std::getenv("ZEL_CA_FILE");
  return LFile ? std::string(LFile) : std::string();
}

}  // namespace

// The page of the web view window: the backend's own origin only, no new windows, and a
// certificate the engine refuses taken only when it verifies against the configured CA.
class TWebViewPage : public QWebEnginePage {
public:
  // AOnRefused gets the text that says why the page was refused.
  TWebViewPage(QWebEngineProfile* AProfile, QObject* AParent, std::function<void(const QString&)> AOnRefused)
      : QWebEnginePage(AProfile, AParent), FOnRefused(std::move(AOnRefused)) {
    connect(this, &QWebEnginePage::certificateError, this, [this](QWebEngineCertificateError AError) {
      std::vector<QByteArray> LChain;
      for (const QSslCertificate& LCert : AError.certificateChain()) LChain.push_back(LCert.toDer());
      const std::string LCA = CAFile();
      const bool LTrusted = AError.isOverridable() && !LCA.empty() &&
                            Forms::WebView::SameOrigin(AError.url(), BackendOrigin()) &&
                            Forms::WebView::ChainVerifies(LChain, LCA, AError.url().host().toStdString());
      if (LTrusted) {
        AError.acceptCertificate();
        return;
      }
      Log().ErrorFmt(cTag, "Certificate of {} refused: {}", AError.url().host().toStdString(),
                     AError.description().toStdString());
      AError.rejectCertificate();
      if (FOnRefused) FOnRefused(Forms::WebView::RefusalText(Forms::WebView::TRefusal::Certificate, AError.url()));
    });
  }

protected:
  bool acceptNavigationRequest(const QUrl& AUrl, NavigationType, bool) override {
    if (Forms::WebView::SameOrigin(AUrl, BackendOrigin())) return true;
    Log().ErrorFmt(cTag, "Navigation to {} refused.", AUrl.host().toStdString());
    if (FOnRefused) FOnRefused(Forms::WebView::RefusalText(Forms::WebView::TRefusal::OtherOrigin, AUrl));
    return false;
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
  std::function<void(const QString&)> FOnRefused;
};

TWebViewForm::TWebViewForm(QWidget* AParent) : QWidget(AParent, Qt::Window | Qt::WindowFullscreenButtonHint) {
  setObjectName(QStringLiteral("WebViewForm"));
  setWindowTitle(QStringLiteral("Web View"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(484, 332);
  auto* LLayout = View::Base::AddContentsPanel(this, lyContents);
  tbEvents = new QWidget(lyContents);
  tbEvents->setObjectName(QStringLiteral("tbEvents"));
  tbEvents->setFixedHeight(40);
  auto* LBar = new QHBoxLayout(tbEvents);
  LBar->setContentsMargins(0, 0, 0, 0);
  sbtnBack = new QToolButton(tbEvents);
  sbtnBack->setObjectName(QStringLiteral("sbtnBack"));
  // Dark on the light toolbar: the shared white arrow would hardly show there.
  sbtnBack->setIcon(Style::Icon("back", QColor::fromRgba(cBackArrowColor)));
  sbtnBack->setIconSize(QSize(24, 24));
  sbtnBack->setToolTip(QStringLiteral("Back"));
  sbtnBack->setFixedSize(48, 40);
  LBar->addWidget(sbtnBack);
  LBar->addStretch(1);
  LLayout->addWidget(tbEvents);

  // No name: an off-the-record profile, nothing of the session is written to disk.
  FProfile = new QWebEngineProfile(this);
  FPage = new TWebViewPage(FProfile, this, [this](const QString& AText) { ShowRefused(AText); });
  // The operator opened the clip to watch it.
  FPage->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  auto* LArea = new QWidget(lyContents);
  auto* LStack = new QStackedLayout(LArea);
  LStack->setStackingMode(QStackedLayout::StackAll);
  webPlayer = new QWebEngineView(LArea);
  webPlayer->setObjectName(QStringLiteral("webPlayer"));
  webPlayer->setPage(FPage);
  txtRefused = new QLabel(Text(cRefusedText), LArea);
  txtRefused->setObjectName(QStringLiteral("txtRefused"));
  txtRefused->setTextFormat(Qt::PlainText);
  txtRefused->setWordWrap(true);
  txtRefused->setAlignment(Qt::AlignCenter);
  txtRefused->setAutoFillBackground(true);
  txtRefused->hide();
  LStack->addWidget(webPlayer);
  LStack->addWidget(txtRefused);
  LLayout->addWidget(LArea, 1);

  connect(sbtnBack, &QToolButton::clicked, this, &QWidget::close);
  // Escape reaches the window also while the page holds the focus.
  auto* LEscape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  LEscape->setContext(Qt::WindowShortcut);
  connect(LEscape, &QShortcut::activated, this, &QWidget::close);
}

TWebViewForm::~TWebViewForm() {
  // The page goes before its profile, the view before its page.
  delete webPlayer;
  webPlayer = nullptr;
  delete FPage;
  FPage = nullptr;
  delete FProfile;
  FProfile = nullptr;
}

void TWebViewForm::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(AEvent);
}

void TWebViewForm::Navigate(const std::string& ASource) {
  txtRefused->hide();
  webPlayer->setUrl(QUrl(QString::fromStdString(ASource)));
}

void TWebViewForm::Play(const std::string& ASource) { Navigate(ASource); }

void TWebViewForm::PlayImage(const std::string& ASource) { Navigate(ASource); }

void TWebViewForm::ShowRefused(const QString& AText) {
  txtRefused->setText(AText);
  txtRefused->show();
  txtRefused->raise();
}

}  // namespace ZEL

namespace ZEL::Forms::WebView {

TWebViewForm* WebViewForm() { return GWebViewForm.data(); }

void CloseWebView() {
  if (TWebViewForm* LOpen = GWebViewForm.data()) {
    GWebViewForm.clear();
    LOpen->close();  // frees it
  }
}

TWebViewForm* ShowURLInWebView(const std::string& ASource, bool AIsImage, QWidget* AParent) {
  CloseWebView();
  auto* LForm = new TWebViewForm(AParent);
  GWebViewForm = LForm;
  if (AIsImage)
    LForm->PlayImage(ASource);
  else
    LForm->Play(ASource);
  Placement::CentreOver(LForm, AParent);
  LForm->show();
  return LForm;
}

std::string WhyItCannotStart(bool AAsRoot, const QByteArray& ANoSandboxVar, const QByteArray& AChromiumFlags) {
  if (!AAsRoot) return {};
  const QByteArray LNoSandbox = ANoSandboxVar.trimmed();
  if (!LNoSandbox.isEmpty() && LNoSandbox != "0") return {};
  if (AChromiumFlags.contains("--no-sandbox")) return {};
  return std::string(TWebViewForm::cCannotStartAsRootText);
}

std::string WhyItCannotStart() {
  return WhyItCannotStart(::geteuid() == 0, qgetenv("QTWEBENGINE_DISABLE_SANDBOX"),
                          qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
}

QString RefusalText(TRefusal AWhy, const QUrl& AUrl) {
  if (AWhy == TRefusal::Certificate) return Text(TWebViewForm::cRefusedText);
  const QString LWhere = AUrl.host().isEmpty() ? AUrl.toDisplayString() : AUrl.host();
  return Text(TWebViewForm::cOtherOriginText) + LWhere + QStringLiteral(".");
}

bool SameOrigin(const QUrl& AUrl, const QUrl& ABase) {
  if (!AUrl.isValid() || !ABase.isValid()) return false;
  const int LDefault = AUrl.scheme() == QLatin1String("https") ? 443 : 80;
  return AUrl.scheme().compare(ABase.scheme(), Qt::CaseInsensitive) == 0 &&
         AUrl.host().compare(ABase.host(), Qt::CaseInsensitive) == 0 &&
         AUrl.port(LDefault) == ABase.port(LDefault);
}

bool ChainVerifies(const std::vector<QByteArray>& AChainDer, const std::string& ACAFile, const std::string& AHost) {
  if (AChainDer.empty() || ACAFile.empty()) return false;
  using TStore = std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)>;
  using TCtx = std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)>;
  using TStack = std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)>;
  auto LDer = [](const QByteArray& ABytes) {
    const auto* LData = reinterpret_cast<const unsigned char*>(ABytes.constData());
    return d2i_X509(nullptr, &LData, ABytes.size());
  };
  TStore LStore(X509_STORE_new(), &X509_STORE_free);
  if (!LStore || X509_STORE_load_file(LStore.get(), ACAFile.c_str()) != 1) return false;
  std::unique_ptr<X509, decltype(&X509_free)> LLeaf(LDer(AChainDer.front()), &X509_free);
  if (!LLeaf) return false;
  TStack LUntrusted(sk_X509_new_null(), [](STACK_OF(X509)* AStack) { sk_X509_pop_free(AStack, X509_free); });
  for (std::size_t i = 1; i < AChainDer.size(); ++i)
    if (X509* LCert = LDer(AChainDer[i])) sk_X509_push(LUntrusted.get(), LCert);
  TCtx LCtx(X509_STORE_CTX_new(), &X509_STORE_CTX_free);
  if (!LCtx || X509_STORE_CTX_init(LCtx.get(), LStore.get(), LLeaf.get(), LUntrusted.get()) != 1) return false;
  X509_VERIFY_PARAM* LParam = X509_STORE_CTX_get0_param(LCtx.get());
  const bool LIsIP = AHost.find(':') != std::string::npos || AHost.find_first_not_of("0123456789.") == std::string::npos;
  if (LIsIP ? X509_VERIFY_PARAM_set1_ip_asc(LParam, AHost.c_str()) != 1
            : X509_VERIFY_PARAM_set1_host(LParam, AHost.c_str(), AHost.size()) != 1)
    return false;
  return X509_verify_cert(LCtx.get()) == 1;
}

}  // namespace ZEL::Forms::WebView
