#pragma once
// The update check's dialogs: a small "checking" box with Cancel, then one
// result box (up to date, update available, error, not configured).
//
// The boxes are modeless so the tray stays usable. The only action besides
// closing is opening a web page (the download page or the release notes) in
// the user's browser; only http and https links are ever opened.

#include "update/UpdateCheck.h"

#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

#include <QMessageBox>

namespace duskwarden {

using UrlOpener = std::function<bool(const QUrl&)>;

// Opens `url` with `opener` when it is an http(s) link; refuses anything else.
bool openWebUrl(const std::string& url, const UrlOpener& opener);

// Text from a feed or a server as it may appear in a dialog: one line (line
// breaks and tabs become spaces), other control characters and invisible
// format characters (bidi overrides, isolates and marks, zero-width
// characters) shown as U+FFFD, and at most `maxLength` characters, the
// cut marked with an ellipsis.
QString displayText(const std::string& text, int maxLength);

class StandardUpdateUserDriver final : public UpdateUserDriver {
 public:
  // `opener` defaults to QDesktopServices::openUrl.
  explicit StandardUpdateUserDriver(UrlOpener opener = {});
  ~StandardUpdateUserDriver() override;

  void showChecking(std::function<void()> cancel) override;
  void showResult(const UpdateCheckResult& result, std::function<void()> dismissed) override;
  void bringToFront() override;

  // The box on screen now, if any.
  QMessageBox* currentDialogForTesting() const { return dialog_; }

 private:
  QMessageBox* makeUpdateAvailableBox(const UpdateCheckResult& result, const QString& app);
  void closeCurrent();

  UrlOpener opener_;
  QPointer<QMessageBox> dialog_;
};

}  // namespace duskwarden
