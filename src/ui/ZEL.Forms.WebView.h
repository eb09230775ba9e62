#pragma once
// The window that shows an attachment (a picture or a clip) from the backend's download
// address. At most one is open: the next opening replaces it. Its page runs in an
// off-the-record profile, goes nowhere but the backend, opens no other windows, and takes a
// certificate the web engine does not know only when it verifies against $ZEL_CA_FILE.

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <QByteArray>
#include <QColor>

#include <string>
#include <string_view>
#include <vector>

class QKeyEvent;
class QLabel;
class QToolButton;
class QWebEngineProfile;
class QWebEngineView;

namespace ZEL {

class TWebViewPage;

class TWebViewForm : public QWidget {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TWebViewForm";
  static constexpr std::string_view cRefusedText =
      "The file cannot be shown: the server's certificate is not trusted.";
  // Followed by the host the page tried to reach.
  static constexpr std::string_view cOtherOriginText =
      "The file cannot be shown: its address leads away from the server, to ";
  static constexpr std::string_view cCannotStartAsRootText =
      "The file cannot be shown: the web view does not run as root unless QTWEBENGINE_DISABLE_SANDBOX=1 is set.";
  // The back arrow on the window's light toolbar.
  static constexpr QRgb cBackArrowColor = 0xFF1F2937;

  explicit TWebViewForm(QWidget* AParent);
  ~TWebViewForm() override;

  void Play(const std::string& ASource);
  void PlayImage(const std::string& ASource);

  QWebEngineView* Player() const { return webPlayer; }
  QToolButton* BackButton() const { return sbtnBack; }
  // Shown instead of the page when the page was refused.
  QLabel* RefusedText() const { return txtRefused; }

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;

private:
  void Navigate(const std::string& ASource);
  void ShowRefused(const QString& AText);

  QWidget* lyContents;
  QWidget* tbEvents;
  QToolButton* sbtnBack;
  QWebEngineProfile* FProfile;
  TWebViewPage* FPage;
  QWebEngineView* webPlayer;
  QLabel* txtRefused;
};

}  // namespace ZEL

namespace ZEL::Forms::WebView {

// The web view window now open, or none.
TWebViewForm* WebViewForm();
// Closes the open window (if any) and shows ASource in a new one over AParent (the main
// window): a picture when AIsImage, else a clip.
TWebViewForm* ShowURLInWebView(const std::string& ASource, bool AIsImage, QWidget* AParent);
// Closes the open window, if any.
void CloseWebView();

// Why the web view cannot start in this process, or nothing. Chromium ends the whole process
// when it runs as root with its sandbox on, so the window is not opened then.
std::string WhyItCannotStart(bool AAsRoot, const QByteArray& ANoSandboxVar, const QByteArray& AChromiumFlags);
std::string WhyItCannotStart();

enum class TRefusal { Certificate, OtherOrigin };
// What the window shows when it refused to show AUrl for AWhy.
QString RefusalText(TRefusal AWhy, const QUrl& AUrl);

// Whether AUrl has the origin (scheme, host, port) of ABase.
bool SameOrigin(const QUrl& AUrl, const QUrl& ABase);
// Whether the chain (leaf first, DER each) verifies against the PEM CA file for AHost.
bool ChainVerifies(const std::vector<QByteArray>& AChainDer, const std::string& ACAFile, const std::string& AHost);

}  // namespace ZEL::Forms::WebView
