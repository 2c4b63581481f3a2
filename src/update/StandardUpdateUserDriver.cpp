#include "update/StandardUpdateUserDriver.h"

#include "update/Appcast.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace duskwarden {

namespace {

// Longer than any real version or link; short enough that a hostile feed
// cannot fill the screen.
constexpr int kMaxVersionLength = 64;
constexpr int kMaxLinkLength = 300;
constexpr int kMaxMessageLength = 400;

QString text(const std::string& s) { return QString::fromStdString(s); }

QMessageBox* makeBox(QMessageBox::Icon icon, const QString& appName) {
  auto* box = new QMessageBox(icon, QCoreApplication::translate("UpdateDialog", "Software Update - %1").arg(appName),
                              QString());
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  // Feed text is shown as written, never interpreted as markup.
  box->setTextFormat(Qt::PlainText);
  return box;
}

// QMessageBox guesses the informative text's format, so text from a feed or
// a server could turn into markup and live links; pin it to plain text.
void setPlainInformativeText(QMessageBox* box, const QString& info) {
  box->setInformativeText(info);
  for (auto* label : box->findChildren<QLabel*>())
    if (label->text() == info) label->setTextFormat(Qt::PlainText);
}

}  // namespace

QString displayText(const std::string& raw, int maxLength) {
  // Invalid UTF-8 arrives as U+FFFD already.
  const QString in = QString::fromStdString(raw);
  QString out;
  out.reserve(std::min<qsizetype>(in.size(), maxLength + 1));
  for (qsizetype i = 0; i < in.size(); ++i) {
    const QChar c = in.at(i);
    switch (c.category()) {
      case QChar::Other_Control:
      case QChar::Separator_Line:
      case QChar::Separator_Paragraph:
        out += (c == u'\n' || c == u'\r' || c == u'\t' || c == u'\v' || c == u'\f' || c.unicode() == 0x85 ||
                c.category() != QChar::Other_Control)
                   ? QChar(u' ')
                   : QChar(QChar::ReplacementCharacter);
        break;
      case QChar::Other_Format:  // bidi embeddings, overrides, isolates and marks; zero-width characters
        out += QChar(QChar::ReplacementCharacter);
        break;
      default:
        out += c;
    }
  }
  if (out.size() > maxLength) {
    qsizetype cut = maxLength;
    if (out.at(cut - 1).isHighSurrogate()) --cut;  // never split a character
    out.truncate(cut);
    out += QChar(0x2026);
  }
  return out;
}

bool openWebUrl(const std::string& url, const UrlOpener& opener) {
  if (!isWebUrl(url) || !opener) return false;
  return opener(QUrl(text(url), QUrl::StrictMode));
}

StandardUpdateUserDriver::StandardUpdateUserDriver(UrlOpener opener) : opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

StandardUpdateUserDriver::~StandardUpdateUserDriver() { closeCurrent(); }

void StandardUpdateUserDriver::showChecking(std::function<void()> cancel) {
  closeCurrent();
  auto* box = makeBox(QMessageBox::Information, QStringLiteral("Duskwarden"));
  box->setText(QCoreApplication::translate("UpdateDialog", "Checking for updates…"));
  box->setStandardButtons(QMessageBox::Cancel);
  // Closed by the user (Cancel, Escape, window close): abort the check. Closed
  // because the result arrived: closeCurrent() disconnects this first.
  QObject::connect(box, &QMessageBox::finished, box, [cancel = std::move(cancel)](int) {
    if (cancel) cancel();
  });
  dialog_ = box;
  box->show();
}

void StandardUpdateUserDriver::showResult(const UpdateCheckResult& result, std::function<void()> dismissed) {
  closeCurrent();
  const QString app = text(result.applicationName);
  QMessageBox* box = nullptr;
  switch (result.kind) {
    case UpdateCheckResult::Kind::upToDate:
      box = makeBox(QMessageBox::Information, app);
      box->setText(QCoreApplication::translate("UpdateDialog", "You're up to date."));
      setPlainInformativeText(box, QCoreApplication::translate("UpdateDialog", "%1 %2 is the newest version available.")
                                       .arg(app, text(result.currentVersion)));
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case UpdateCheckResult::Kind::updateAvailable:
      box = makeUpdateAvailableBox(result, app);
      break;
    case UpdateCheckResult::Kind::error:
      box = makeBox(QMessageBox::Warning, app);
      box->setText(QCoreApplication::translate("UpdateDialog", "The update check failed."));
      // The message may quote the server (its reason phrase) or the feed.
      setPlainInformativeText(box, displayText(result.errorMessage, kMaxMessageLength));
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case UpdateCheckResult::Kind::notConfigured:
      box = makeBox(QMessageBox::Information, app);
      box->setText(QCoreApplication::translate("UpdateDialog", "Updates are not configured."));
      setPlainInformativeText(
          box, QCoreApplication::translate(
                   "UpdateDialog", "This build of %1 has no update feed. Updates come from where you installed it.")
                   .arg(app));
      box->setStandardButtons(QMessageBox::Ok);
      break;
  }
  QObject::connect(box, &QMessageBox::finished, box, [dismissed = std::move(dismissed)](int) {
    if (dismissed) dismissed();
  });
  dialog_ = box;
  box->show();
  box->raise();
  box->activateWindow();
}

// Offers the download page, the release notes when the feed links them, and Later.
QMessageBox* StandardUpdateUserDriver::makeUpdateAvailableBox(const UpdateCheckResult& result, const QString& app) {
  auto* box = makeBox(QMessageBox::Information, app);
  box->setText(QCoreApplication::translate("UpdateDialog", "A new version of %1 is available.").arg(app));
  QString info =
      QCoreApplication::translate("UpdateDialog", "%1 %2 is available; you have %3.")
          .arg(app, displayText(result.item.displayVersion(), kMaxVersionLength), text(result.currentVersion));
  if (!result.item.releaseNotesLink.empty())
    info += QCoreApplication::translate("UpdateDialog", "\n\nRelease notes: %1")
                .arg(displayText(result.item.releaseNotesLink, kMaxLinkLength));
  setPlainInformativeText(box, info);
  QPushButton* download =
      box->addButton(QCoreApplication::translate("UpdateDialog", "Open Download Page"), QMessageBox::AcceptRole);
  if (!result.item.releaseNotesLink.empty()) {
    QPushButton* notes =
        box->addButton(QCoreApplication::translate("UpdateDialog", "Release Notes"), QMessageBox::ActionRole);
    QObject::connect(notes, &QPushButton::clicked, box,
                     [this, link = result.item.releaseNotesLink] { openWebUrl(link, opener_); });
  }
  box->addButton(QCoreApplication::translate("UpdateDialog", "Later"), QMessageBox::RejectRole);
  box->setDefaultButton(download);
  QObject::connect(download, &QPushButton::clicked, box,
                   [this, link = result.item.downloadLink] { openWebUrl(link, opener_); });
  return box;
}

void StandardUpdateUserDriver::bringToFront() {
  if (!dialog_) return;
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
}

void StandardUpdateUserDriver::closeCurrent() {
  if (!dialog_) return;
  QMessageBox* box = dialog_;
  dialog_ = nullptr;
  QObject::disconnect(box, &QMessageBox::finished, nullptr, nullptr);
  box->close();  // deletes itself (WA_DeleteOnClose)
}

}  // namespace duskwarden
