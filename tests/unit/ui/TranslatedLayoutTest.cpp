// The popover in each shipped language, saved as test artefacts: every text
// fits its label or button, in both states' wording (nothing elided or cut).

#include <QAbstractButton>

#include "TestEnvironment.h"
#include "ViewFixture.h"
#include "app/Translations.h"

namespace duskwarden::ui::testing {
namespace {

using TranslatedLayout = ViewFixture;

// Inside the popover, which keeps its width, and no smaller than its text needs.
bool fits(const QWidget* view, const QWidget* w) {
  const auto* label = qobject_cast<const QLabel*>(w);
  const QSize need = label && label->wordWrap() ? QSize(0, label->heightForWidth(w->width())) : w->sizeHint();
  return view->rect().contains(QRect(w->mapTo(view, QPoint()), w->size())) && need.width() <= w->width() &&
         need.height() <= w->height();
}

TEST_F(TranslatedLayout, EveryTextFitsInEachLanguage) {
  start();
  const auto dir = duskwarden::testing::artifactsDir();
  std::filesystem::create_directories(dir);
  const struct {
    QString language, cardTitle;  // the title shows which catalogue is in use
  } rows[] = {
      {"en", "Always On Mode"}, {"de", "Immer eingeschaltet"}, {"fr", "Toujours actif"}, {"es", "Siempre activo"}};
  for (const auto& row : rows) {
    EXPECT_EQ(translations::load({row.language}), row.language == "en" ? QString() : row.language);
    for (const bool on : {false, true}) {
      const std::string name = "popover-" + row.language.toStdString() + (on ? "-on-kept" : "-off");
      SCOPED_TRACE(name);
      setState(on, on);
      QApplication::processEvents();
      EXPECT_EQ(label("cardTitle")->text(), row.cardTitle);
      EXPECT_TRUE(view->grab().save(QString::fromStdString((dir / (name + ".png")).string())));
      for (QWidget* w : view->findChildren<QWidget*>()) {
        const QString text = w->property("text").toString();
        if (text.isEmpty() || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))) continue;
        EXPECT_TRUE(fits(view.get(), w)) << w->objectName().toStdString() << ": " << text.toStdString();
      }
    }
  }
  translations::load({});
}

}  // namespace
}  // namespace duskwarden::ui::testing
