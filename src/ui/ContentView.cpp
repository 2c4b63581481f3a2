#include "ui/ContentView.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/BakedSymbols.h"
#include "ui/ContentViewParts.h"
#include "ui/GradientSlider.h"
#include "ui/PaletteColors.h"
#include "ui/StrengthRow.h"
#include "ui/ToggleSwitch.h"

namespace duskwarden::ui {

namespace {

using namespace contentview;

// Text styles, in logical pixels at the default text size.
enum class TextStyle { title2 = 17, title3 = 15, body = 13, caption = 10 };

// The desktop's text size the styles are drawn for; larger text settings
// enlarge them in proportion, as they do the desktop's dialogs. Smaller ones
// leave them be: the design is the smallest the popover gets.
constexpr double kDefaultPointSize = 10;

double textScale(const QFont& desktop) {
  const double points = desktop.pointSizeF() > 0 ? desktop.pointSizeF() : QFontInfo(desktop).pointSizeF();
  return std::max(1.0, points / kDefaultPointSize);
}

QFont styledFont(const QFont& base, double scale, int pixels, QFont::Weight weight = QFont::Normal) {
  QFont f = base;
  f.setPixelSize(qRound(pixels * scale));
  f.setWeight(weight);
  return f;
}

QFont styledFont(const QFont& base, double scale, TextStyle style, QFont::Weight weight = QFont::Normal) {
  return styledFont(base, scale, static_cast<int>(style), weight);
}

void setAccessibleText(QWidget* w, const QString& name, const QString& description) {
  if (w->accessibleName() != name) w->setAccessibleName(name);
  if (w->accessibleDescription() != description) w->setAccessibleDescription(description);
}

void setTextColor(QLabel* label, const QColor& color) {
  QPalette pal = label->palette();
  if (pal.color(QPalette::WindowText) == color) return;
  pal.setColor(QPalette::WindowText, color);
  label->setPalette(pal);
}

}  // namespace

ContentView::ContentView(std::shared_ptr<NightShiftManager> manager, std::string version, DispatchQueue& mainQueue,
                         QWidget* parent)
    : QWidget(parent),
      manager_(std::move(manager)),
      version_(std::move(version)),
      mainQueue_(mainQueue),
      // The slider may end a drag while it is being torn down (after this
      // view's members are gone), so these hold the manager themselves.
      strengthEditing_({[m = manager_] { return m->colorTemperatureStrength.get(); },
                        [m = manager_](float v) { m->colorTemperatureStrength = v; }},
                       [m = manager_](float v) { m->setColorTemperatureStrength(v); }) {
  setObjectName(QStringLiteral("contentView"));
  setFixedWidth(kWidth);
  build();
  apply();
  fitHeight();
  willChange_ = manager_->objectWillChange.sink([this] { scheduleApply(); });
}

ContentView::~ContentView() {
  *alive_ = false;
  willChange_.cancel();
}

void ContentView::build() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  column->setSpacing(0);
  int element = 0;
  auto gap = [&] { column->addSpacing(gapAfter(element++)); };
  column->addSpacing(topPadding(0));
  addHeaderSymbol(column);
  gap();
  addTitle(column);
  gap();
  addStatusBadge(column);
  gap();
  addKeepAlwaysOnCard(column);
  gap();
  addDivider(column, QStringLiteral("divider1"));
  gap();
  addCommandButtons(column);
  gap();
  addDivider(column, QStringLiteral("divider2"));
  gap();
  addStrengthSection(column);
  gap();
  addVersionLine(column);
  connectActions();
  applyFonts();
}

void ContentView::applyFonts() {
  const QFont desktop = font();
  const double scale = textScale(desktop);
  title_->setFont(styledFont(desktop, scale, TextStyle::title3, QFont::Bold));
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPixelSize(qRound(static_cast<int>(TextStyle::body) * scale));
  statusBadge_->setFont(mono);
  reasonLine_->setFont(styledFont(desktop, scale, TextStyle::caption));
  cardTitle_->setFont(styledFont(desktop, scale, TextStyle::body, QFont::DemiBold));
  for (QLabel* l : {cardCaption_, lessWarm_, moreWarm_, versionLine_}) l->setFont(styledFont(desktop, scale, TextStyle::caption));
  for (QPushButton* b : {enableButton_, disableButton_}) b->setFont(styledFont(desktop, scale, kCommandButtonTextSize));
}

void ContentView::addHeaderSymbol(QVBoxLayout* column) {
  auto* header = new SymbolView({kHeaderPointSize, SymbolConfiguration::Weight::regular}, this);
  header->setObjectName(QStringLiteral("headerSymbol"));
  headerSymbol_ = header;
  column->addWidget(header, 0, Qt::AlignHCenter);
}

void ContentView::addTitle(QVBoxLayout* column) {
  title_ = new QLabel(this);
  title_->setObjectName(QStringLiteral("title"));
  column->addWidget(title_, 0, Qt::AlignHCenter);
}

void ContentView::addStatusBadge(QVBoxLayout* column) {
  auto* badge = new BackdropLabel(-1, this);
  badge->setObjectName(QStringLiteral("statusBadge"));
  badge->setContentsMargins(kBadgeHorizontalPadding, kBadgeVerticalPadding, kBadgeHorizontalPadding,
                            kBadgeVerticalPadding);
  statusBadge_ = badge;
  // Badge and line as one element: the line, when shown, sits in the badge's
  // gap to the card, and when hidden the column is as it was without it.
  auto* both = new QVBoxLayout;
  both->setContentsMargins(0, 0, 0, 0);
  both->setSpacing(kReasonLineSpacing);
  both->addWidget(badge, 0, Qt::AlignHCenter);
  reasonLine_ = new ReasonLine(this);
  reasonLine_->setObjectName(QStringLiteral("reasonLine"));
  both->addWidget(reasonLine_);
  column->addLayout(both);
}

void ContentView::addKeepAlwaysOnCard(QVBoxLayout* column) {
  auto* card = new CardWidget(kCardCornerRadius, this);
  card->setObjectName(QStringLiteral("keepAlwaysOnCard"));
  card_ = card;
  auto* cardRow = new QHBoxLayout(card);
  cardRow->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
  cardRow->setSpacing(8);
  auto* shield = new SymbolView({kShieldPointSize, SymbolConfiguration::Weight::regular}, card);
  shield->setObjectName(QStringLiteral("shieldSymbol"));
  shield->setFixedWidth(kShieldFrameWidth);
  shieldSymbol_ = shield;
  cardRow->addWidget(shield, 0, Qt::AlignVCenter);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  cardTitle_ = new QLabel(card);
  cardTitle_->setObjectName(QStringLiteral("cardTitle"));
  cardCaption_ = new CaptionLabel(card);
  cardCaption_->setObjectName(QStringLiteral("cardCaption"));
  cardCaption_->setWordWrap(true);
  texts->addWidget(cardTitle_);
  texts->addWidget(cardCaption_);
  cardRow->addLayout(texts, 1);
  switch_ = new ToggleSwitch(QStringLiteral("Warden Mode"), card);
  switch_->setObjectName(QStringLiteral("wardenModeSwitch"));
  cardRow->addWidget(switch_, 0, Qt::AlignVCenter);
  cardTitle_->setBuddy(switch_);  // the switch is labelled by the card's title, as well as named
  column->addWidget(card);
}

void ContentView::addDivider(QVBoxLayout* column, const QString& name) {
  auto* divider = new Divider(this);
  divider->setObjectName(name);
  column->addWidget(divider);
}

void ContentView::addCommandButtons(QVBoxLayout* column) {
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(kButtonSpacing);
  enableButton_ = new CommandButton(this);
  enableButton_->setObjectName(QStringLiteral("enableButton"));
  disableButton_ = new CommandButton(this);
  disableButton_->setObjectName(QStringLiteral("disableButton"));
  for (auto* b : {enableButton_, disableButton_}) {
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setCursor(Qt::PointingHandCursor);
    buttons->addWidget(b);
  }
  column->addLayout(buttons);
}

void ContentView::addStrengthSection(QVBoxLayout* column) {
  strength_ = new StrengthRow(this);
  strength_->setObjectName(QStringLiteral("strengthRow"));
  lessWarm_ = strength_->lessCaption();
  lessWarm_->setObjectName(QStringLiteral("lessWarm"));
  moreWarm_ = strength_->moreCaption();
  moreWarm_->setObjectName(QStringLiteral("moreWarm"));
  // The column counts the captions and the slider's 24-high row; the slider
  // may overhang into the padding.
  column->addItem(new OverhangItem(strength_, StrengthRow::overhang()));
  column->addSpacing(kSliderBottomPadding);
}

void ContentView::addVersionLine(QVBoxLayout* column) {
  versionLine_ = new QLabel(this);
  versionLine_->setObjectName(QStringLiteral("versionLabel"));
  versionLine_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  column->addWidget(versionLine_);
}

void ContentView::connectActions() {
  // The slider may end a drag while it is being torn down (after this view's
  // members are gone), so its callbacks hold the manager themselves.
  std::shared_ptr<NightShiftManager> m = manager_;
  connect(switch_, &QAbstractButton::clicked, this, [m](bool on) { m->autoEnable = on; });
  // A click that fails leaves the reason line: the manager publishes why.
  connect(enableButton_, &QPushButton::clicked, this, [m] { m->enableNightShift(NightShiftManager::Request{}); });
  connect(disableButton_, &QPushButton::clicked, this, [m] { m->disableNightShift(); });
  // The platform hears about the strength once per drag (or burst of keys),
  // at its end, with the value written last, whichever input wrote it.
  slider_ = new GradientSlider(strengthEditing_.value(), ClosedRange<float>{0.0F, 1.0F}, strengthEditing_.input(),
                               strength_);
  slider_->setObjectName(QStringLiteral("strengthSlider"));
  strength_->attach(slider_, strengthEditing_.value(), strengthEditing_.input(), mainQueue_);
}

void ContentView::fitHeight() {
  // Width is fixed; the height is whatever the column needs at that width
  // (the card's caption may wrap).
  QLayout* column = layout();
  const int h = column->hasHeightForWidth() ? column->totalHeightForWidth(kWidth) : column->totalSizeHint().height();
  if (h != height() || minimumHeight() != h) setFixedHeight(h);
}

QSize ContentView::sizeHint() const { return {kWidth, height()}; }

bool ContentView::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::LayoutRequest) fitHeight();
  return handled;
}

void ContentView::applyButtonStates(bool enableOn, bool disableOn) {
  // The button that turns on goes first: the one just pressed goes grey, and
  // the focus (and a screen reader with it) moves to its counterpart, which
  // now says the new status, rather than on down the column.
  const bool onEnable = enableButton_->hasFocus(), onDisable = disableButton_->hasFocus();
  if (enableOn) enableButton_->setEnabled(true);
  if (disableOn) disableButton_->setEnabled(true);
  if (onEnable && !enableOn && disableOn) disableButton_->setFocus(Qt::OtherFocusReason);
  if (onDisable && !disableOn && enableOn) enableButton_->setFocus(Qt::OtherFocusReason);
  enableButton_->setEnabled(enableOn);
  disableButton_->setEnabled(disableOn);
}

void ContentView::applySpokenState() {
  // The window that shows this view (the popover, the window without a tray)
  // is what a screen reader announces on opening: its description is the state.
  QWidget* shownIn = window();
  const QString spoken = QString::fromStdString(description_.spokenState);
  if (shownIn != this && shownIn->accessibleDescription() != spoken) shownIn->setAccessibleDescription(spoken);
}

void ContentView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ParentChange && versionLine_) applySpokenState();
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    if (slider_) apply();
  }
  if (event->type() == QEvent::FontChange && versionLine_) applyFonts();
}

void ContentView::scheduleApply() {
  // objectWillChange comes before the value is stored: read it on the next turn,
  // once for however many writes this turn holds.
  if (applyScheduled_) return;
  applyScheduled_ = true;
  std::weak_ptr<bool> alive = alive_;
  mainQueue_.async([this, alive] {
    auto a = alive.lock();
    if (!a || !*a) return;
    applyScheduled_ = false;
    apply();
  });
}

ContentViewInputs ContentView::currentInputs() const {
  ContentViewInputs in;
  in.isNightShiftEnabled = manager_->isNightShiftEnabled.get();
  in.autoEnable = manager_->autoEnable.get();
  in.colorTemperatureStrength = manager_->colorTemperatureStrength.get();
  in.bundleVersion = version_;
  in.reasonLine = reasonLine(*manager_);
  in.appearance = appearanceOf(palette());
  return in;
}

void ContentView::apply() {
  ++applyCount_;
  description_ = describeContentView(currentInputs());
  const ContentViewDescription& d = description_;
  const QPalette& pal = palette();
  auto color = [&pal](const ColorSpec& s) { return resolveColor(s, pal); };
  auto text = [](const std::string& s) { return QString::fromStdString(s); };

  static_cast<SymbolView*>(headerSymbol_)->setSymbol(text(d.headerSymbol.name), color(d.headerSymbol.color));
  title_->setText(text(d.title.text));
  setTextColor(title_, color(d.title.color));
  if (const QString status = text(d.statusBadge.text); statusBadge_->text() != status) {
    statusBadge_->setText(status);
    // Shown afresh when it changes in sight, as the reason line is: a screen
    // reader announces a notification that appears, wherever the focus is.
    if (statusBadge_->isVisible()) {
      statusBadge_->hide();
      statusBadge_->show();
    }
  }
  setTextColor(statusBadge_, color(d.statusBadge.color));
  static_cast<BackdropLabel*>(statusBadge_)->setBackdropColor(color(d.statusBadgeBackground));
  reasonLine_->setReason(text(d.reasonLine.text));
  setTextColor(reasonLine_, color(d.reasonLine.color));

  const auto& c = d.keepAlwaysOnCard;
  static_cast<CardWidget*>(card_)->setBackdropColor(color(c.background));
  static_cast<SymbolView*>(shieldSymbol_)->setSymbol(text(c.shield.name), color(c.shield.color));
  cardTitle_->setText(text(c.title.text));
  setTextColor(cardTitle_, color(c.title.color));
  cardCaption_->setText(text(c.caption.text));
  setTextColor(cardCaption_, color(c.caption.color));
  // Set when they change only: assistive technology announces every new name.
  // Each control's description ends with the status, so a screen reader says
  // it on every control the user moves to.
  const QString status = text(d.statusBadge.text);
  setAccessibleText(switch_, text(c.switchAccessibleName), text(c.caption.text) + QLatin1Char(' ') + status);
  switch_->setTint(color({ColorRole::green}));
  switch_->setChecked(c.switchOn);

  enableButton_->setText(text(d.enableButton.title));
  disableButton_->setText(text(d.disableButton.title));
  for (QPushButton* b : {enableButton_, disableButton_}) setAccessibleText(b, b->text(), status);
  applyButtonStates(d.enableButton.enabled, d.disableButton.enabled);
  static_cast<CommandButton*>(enableButton_)->setColors(prominentColors(pal));
  static_cast<CommandButton*>(disableButton_)->setColors(borderedColors(pal));

  lessWarm_->setText(text(d.strength.lessCaption.text));
  setTextColor(lessWarm_, color(d.strength.lessCaption.color));
  moreWarm_->setText(text(d.strength.moreCaption.text));
  setTextColor(moreWarm_, color(d.strength.moreCaption.color));
  setAccessibleText(strength_, text(d.strength.accessibleName), status);
  strength_->refresh();
  applySpokenState();

  versionLine_->setText(text(d.versionLine.text));
  setTextColor(versionLine_, color(d.versionLine.color));
}

}  // namespace duskwarden::ui
