// The popover in each shipped language, saved as test artefacts: every text
// fits its label or button, in both states' wording (nothing elided or cut).

#include <QAbstractButton>
#include <QImage>

#include "TestEnvironment.h"
#include "ViewFixture.h"
#include "app/Translations.h"

namespace duskwarden::ui::testing {
namespace {

using TranslatedLayout = ViewFixture;

TEST_F(TranslatedLayout, EveryTextFitsInEachLanguage) {
  start();
  const auto dir = duskwarden::testing::artifactsDir();
  std::filesystem::create_directories(dir);
  const struct {
    QString language;
    QString cardTitle;  // shows that the catalogue is the one in use
  } rows[] = {
      {"en", "Always On Mode"}, {"de", "Immer-an-Modus"}, {"fr", "Mode toujours actif"}, {"es", "Modo siempre activo"}};
  const struct {
    bool e, k;
    const char* name;
  } states[] = {{false, false, "off"}, {true, true, "on-kept"}};

  for (const auto& row : rows) {
    EXPECT_EQ(translations::load({row.language}), row.language == "en" ? QString() : row.language);
    for (const auto& s : states) {
      SCOPED_TRACE(row.language.toStdString() + " " + s.name);
      setState(s.e, s.k);
      QApplication::processEvents();
      EXPECT_EQ(label("cardTitle")->text(), row.cardTitle);
      const auto file = dir / ("popover-" + row.language.toStdString() + "-" + s.name + ".png");
      EXPECT_TRUE(view->grab().save(QString::fromStdString(file.string()))) << file;

      // Inside the popover, which keeps its width, and big enough for its text.
      const auto inside = [this](QWidget* w) {
        return view->rect().contains(QRect(w->mapTo(view.get(), QPoint()), w->size()));
      };
      for (QLabel* l : view->findChildren<QLabel*>()) {
        if (l->text().isEmpty()) continue;
        EXPECT_TRUE(inside(l)) << l->objectName().toStdString() << ": " << l->text().toStdString();
        const int needed = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
        EXPECT_LE(needed, l->height()) << l->objectName().toStdString() << ": " << l->text().toStdString();
        if (!l->wordWrap()) {
          EXPECT_LE(l->sizeHint().width(), l->width())
              << l->objectName().toStdString() << ": " << l->text().toStdString();
        }
      }
      for (QAbstractButton* b : view->findChildren<QAbstractButton*>()) {
        if (b->text().isEmpty()) continue;
        EXPECT_TRUE(inside(b)) << b->objectName().toStdString() << ": " << b->text().toStdString();
        EXPECT_LE(b->sizeHint().width(), b->width())
            << b->objectName().toStdString() << ": " << b->text().toStdString();
      }
    }
  }
  translations::load({});
}

}  // namespace
}  // namespace duskwarden::ui::testing
