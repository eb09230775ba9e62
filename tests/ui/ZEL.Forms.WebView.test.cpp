// The web view window on the offscreen platform (Qt WebEngine, sandbox off as root): one
// window at a time, Escape and Back close it, the item details close it on leaving, a
// modal main window blocks neither it nor a text window; and its certificate check.

#include "ZEL.Forms.TextView.h"
#include "ZEL.Forms.WebView.h"
#include "ZEL.ItemDetails.View.TestSupport.h"
#include "ZEL.Style.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSslCertificate>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ZEL::Test {
namespace {

namespace W = Forms::WebView;

int OpenWebWindows() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<TWebViewForm*>(w) && w->isVisible()) ++n;
  return n;
}

class WebViewWindow : public ::testing::Test {
protected:
  void SetUp() override {
    AllowWebEngineAsRoot();
    Main.resize(444, 640);
  }
  void TearDown() override {
    W::CloseWebView();
    WaitUntil([] { return OpenWebWindows() == 0; }, std::chrono::seconds(2));
  }
  // The backend's origin (the page may go nowhere else).
  TScopedEnv Backend{"ZEL_BACKEND_URL", "https://127.0.0.1:9"};
  QWidget Main;
};

TEST_F(WebViewWindow, TheNextOpeningReplacesTheWindowAndEscapeClosesIt) {
  QPointer<TWebViewForm> a = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=A", true, &Main);
  QPointer<TWebViewForm> b = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=B", false, &Main);
  ASSERT_TRUE(WaitUntil([&] { return a.isNull(); })) << "A is closed and freed";
  ASSERT_FALSE(b.isNull());
  EXPECT_EQ(W::WebViewForm(), b.data());
  EXPECT_EQ(OpenWebWindows(), 1);
  EXPECT_EQ(b->Player()->url().toString().toStdString(), "https://127.0.0.1:9/extra?objectid=B");
  EXPECT_TRUE(b->isWindow());
  EXPECT_EQ(b->parentWidget(), &Main);

  QTest::keyClick(b.data(), Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([&] { return b.isNull(); }));
  EXPECT_EQ(W::WebViewForm(), nullptr);
  QPointer<TWebViewForm> c = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=C", true, &Main);
  ASSERT_FALSE(c.isNull());
  EXPECT_EQ(OpenWebWindows(), 1);
  c->BackButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return c.isNull(); }));
  EXPECT_EQ(W::WebViewForm(), nullptr);
}

TEST_F(WebViewWindow, BothWindowsGoWithTheMainWindow) {
  auto* session = new QWidget();
  QPointer<TWebViewForm> web = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=A", true, session);
  QPointer<TfrmTextView> text = TfrmTextView::ShowView("text", session);
  ASSERT_TRUE(web && text);
  EXPECT_FALSE(web->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(text->testAttribute(Qt::WA_QuitOnClose));
  delete session;
  EXPECT_TRUE(web.isNull());
  EXPECT_TRUE(text.isNull());
  EXPECT_EQ(W::WebViewForm(), nullptr);
}

// The refusal says why: another site than the server, or the server's own certificate.
TEST_F(WebViewWindow, TheRefusalSaysWhetherTheSiteOrTheCertificateWasRefused) {
  QPointer<TWebViewForm> w = W::ShowURLInWebView("https://example.invalid/elsewhere", true, &Main);
  ASSERT_TRUE(WaitUntil([&] { return w && w->RefusedText()->isVisible(); }));
  EXPECT_EQ(w->RefusedText()->text().toStdString(),
            std::string(TWebViewForm::cOtherOriginText) + "example.invalid.");

  EXPECT_EQ(W::RefusalText(W::TRefusal::Certificate, QUrl("https://127.0.0.1:9/extra")).toStdString(),
            std::string(TWebViewForm::cRefusedText));
  EXPECT_EQ(W::RefusalText(W::TRefusal::OtherOrigin, QUrl("https://cdn.example/x.jpg")).toStdString(),
            std::string(TWebViewForm::cOtherOriginText) + "cdn.example.");
}

// As root with the sandbox on, Chromium would end the whole program: the window is not opened
// and the user is told why instead.
TEST(WebViewStart, AsRootOnlyWithTheSandboxOff) {
  struct TCase {
    bool Root;
    const char* NoSandbox;
    const char* Flags;
    bool Starts;
  };
  const TCase cases[] = {
      {false, "", "", true},          {true, "1", "", true},  {true, "", "--no-sandbox --foo", true},
      {true, "", "", false},          {true, "0", "", false}, {true, " ", "--disable-gpu", false},
  };
  for (const auto& c : cases) {
    const std::string why = W::WhyItCannotStart(c.Root, c.NoSandbox, c.Flags);
    EXPECT_EQ(why.empty(), c.Starts) << c.Root << " '" << c.NoSandbox << "' '" << c.Flags << "'";
    if (!c.Starts) {
      EXPECT_EQ(why, std::string(TWebViewForm::cCannotStartAsRootText));
    }
  }
}

// Relative luminance and contrast ratio of two colours (WCAG).
double Luminance(QColor AColor) {
  const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(AColor.redF()) + 0.7152 * channel(AColor.greenF()) + 0.0722 * channel(AColor.blueF());
}
double Contrast(QColor A, QColor B) {
  const double a = Luminance(A), b = Luminance(B);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The main window at the screen's left edge: the wider web window still opens whole on the
// screen, as near centred over it as the screen allows, and its back arrow can be seen.
TEST_F(WebViewWindow, OpensWholeOnTheScreenOverTheMainWindowWithAVisibleBackArrow) {
  Style::Apply(*qApp);  // the program's look
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  Main.setGeometry(screen.left(), screen.top() + 20, 444, std::min(screen.height() - 40, 560));
  Main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main));
  QPointer<TWebViewForm> w = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=A", true, &Main);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.data()));
  const QRect frame = w->frameGeometry();
  EXPECT_TRUE(screen.contains(frame)) << frame.x() << "," << frame.y();
  EXPECT_EQ(frame.left(), screen.left());
  EXPECT_NEAR(frame.center().y(), Main.frameGeometry().center().y(), 1);

  // The arrow's strongest pixel against the background around it.
  QToolButton* back = w->BackButton();
  // As the window shows it: the button draws on its toolbar's background.
  const QImage shot = w->grab(QRect(back->mapTo(w.data(), QPoint(0, 0)), back->size())).toImage();
  const QColor ground = shot.pixelColor(2, 2);
  double best = 1;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) best = std::max(best, Contrast(shot.pixelColor(x, y), ground));
  EXPECT_GE(best, 4.5);
  Main.hide();
}

TEST_F(WebViewWindow, AModalMainWindowBlocksNeitherWindow) {
  Main.setWindowModality(Qt::ApplicationModal);
  Main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main));
  QPointer<TWebViewForm> web = W::ShowURLInWebView("https://127.0.0.1:9/extra?objectid=A", true, &Main);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(web.data()));
  // Input through the window system, which drops what a modal window blocks.
  QToolButton* back = web->BackButton();
  QTest::mouseClick(web->windowHandle(), Qt::LeftButton, {}, back->mapTo(web.data(), back->rect().center()));
  EXPECT_TRUE(WaitUntil([&] { return web.isNull(); })) << "the back button took the click";

  QPointer<TfrmTextView> text = TfrmTextView::ShowView("abc def ghi", &Main);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(text.data()));
  ASSERT_EQ(text->Memo()->textCursor().position(), 0);
  // A click right of the line puts the cursor at its end, unless the window is blocked.
  QWidget* port = text->Memo()->viewport();
  QTest::mouseClick(text->windowHandle(), Qt::LeftButton, {}, port->mapTo(text.data(), QPoint(port->width() - 5, 8)));
  EXPECT_EQ(text->Memo()->textCursor().position(), 11);
  text->close();
  Main.hide();
}

TEST_F(TItemDetailsViewTest, LeavingClosesTheWebWindowButNotTheTextWindows) {
  TScopedEnv backend{"ZEL_BACKEND_URL", "https://127.0.0.1:9"};
  TItemSpec given;
  given.Text = std::string(500, 'x');
  given.Attachments = {{"x1", "CAM-X", "Gate camera", 2, 1}};
  Choose(given);
  View->Enter(TView::EventItems);
  View->AttachmentRowDoubleClick(1);
  ASSERT_TRUE(WaitUntil([] { return W::WebViewForm() != nullptr; }));
  EXPECT_EQ(W::WebViewForm()->Player()->url().query().toStdString(), "objectid=x1&AuthToken=");
  QPointer<TWebViewForm> web = W::WebViewForm();
  View->InfoRowDoubleClick(RowOf(View->InfoList(), given.Text));
  QPointer<TfrmTextView> text;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<TfrmTextView*>(w)) text = t;
  ASSERT_FALSE(text.isNull());
  View->Leave(TView::EventItems);
  EXPECT_TRUE(WaitUntil([&] { return web.isNull(); }));
  EXPECT_FALSE(text.isNull());
  EXPECT_TRUE(text->isVisible());
  text->close();
}

TEST(WebViewTrust, TheChainMustVerifyAgainstTheConfiguredCAForTheHost) {
  const std::string dir = NewTempFolder("pki");
  const std::string cmd = std::string(ZEL_SOURCE_DIR) + "/tests/peers/make-pki.sh " + dir + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  auto der = [&](const std::string& AName) {
    QFile f(QString::fromStdString(dir + "/" + AName));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QSslCertificate(f.readAll(), QSsl::Pem).toDer();
  };
  const std::vector<QByteArray> server = {der("server.crt")};
  EXPECT_TRUE(W::ChainVerifies(server, dir + "/ca.crt", "127.0.0.1"));
  EXPECT_TRUE(W::ChainVerifies(server, dir + "/ca.crt", "localhost"));
  EXPECT_FALSE(W::ChainVerifies(server, dir + "/ca.crt", "example.org")) << "another host";
  EXPECT_FALSE(W::ChainVerifies(server, dir + "/other-ca.crt", "127.0.0.1")) << "another CA";
  EXPECT_FALSE(W::ChainVerifies(server, "", "127.0.0.1")) << "no CA configured";
  EXPECT_FALSE(W::ChainVerifies({der("other-broker.crt")}, dir + "/ca.crt", "127.0.0.1"));
}

TEST(WebViewTrust, SameOrigin) {
  const QUrl base("https://127.0.0.1:8089");
  EXPECT_TRUE(W::SameOrigin(QUrl("https://127.0.0.1:8089/extra?objectid=1"), base));
  EXPECT_FALSE(W::SameOrigin(QUrl("https://127.0.0.1:8090/extra"), base));
  EXPECT_FALSE(W::SameOrigin(QUrl("http://127.0.0.1:8089/extra"), base));
  EXPECT_FALSE(W::SameOrigin(QUrl("https://evil.example:8089/"), base));
  EXPECT_TRUE(W::SameOrigin(QUrl("https://api.example/x"), QUrl("https://api.example:443")));
}

}  // namespace
}  // namespace ZEL::Test
