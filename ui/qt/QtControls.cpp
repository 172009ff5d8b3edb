#include "ui/qt/QtControls.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStringList>
#include <QStyleFactory>
#include <QToolButton>
#include <limits>

namespace pw::ui::qt {

using framework::TColor;

namespace {

constexpr QSize kGlyphSize{16, 16};

// The system colours a control may be given, by their index in the platform's colour table.
struct SystemColour {
    TColor index;
    QPalette::ColorRole role;
};
constexpr SystemColour kSystemColours[] = {
    {0x05, QPalette::Base},             // window
    {0x08, QPalette::Text},             // window text
    {0x0D, QPalette::Highlight},        // highlight
    {0x0E, QPalette::HighlightedText},  // highlighted text
    {0x0F, QPalette::Button},           // button face
    {0x10, QPalette::Dark},             // button shadow
    {0x12, QPalette::ButtonText},       // button text
    {0x14, QPalette::Light},            // button highlight
    {0x17, QPalette::ToolTipText},      // tooltip text
    {0x18, QPalette::ToolTipBase},      // tooltip background
};

// The one palette change behind every SetColor: the fill of fields and of button faces.
void ApplyColour(QWidget& widget, TColor colour) {
    const QColor c = ToQColor(colour, widget);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Base, c);
    palette.setColor(QPalette::Button, c);
    widget.setPalette(palette);
}

// The colour of one role of a widget's palette.
void ApplyRole(QWidget& widget, QPalette::ColorRole role, TColor colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, ToQColor(colour, widget));
    widget.setPalette(palette);
}

}  // namespace

QString QtFileFilter(std::string_view filter) {
    QStringList entries;
    while (!filter.empty()) {
        const std::size_t bar = filter.find('|');
        const std::string_view name = filter.substr(0, bar);
        std::string_view patterns =
            bar == std::string_view::npos ? std::string_view("*") : filter.substr(bar + 1);
        const std::size_t next = patterns.find('|');
        filter = next == std::string_view::npos ? std::string_view() : patterns.substr(next + 1);
        patterns = patterns.substr(0, next);
        QString qtPatterns = FromLatin1(patterns).split(';', Qt::SkipEmptyParts).join(' ');
        if (qtPatterns.isEmpty()) qtPatterns = QStringLiteral("*");
        entries << FromLatin1(name) + QStringLiteral(" (") + qtPatterns + QStringLiteral(")");
    }
    return entries.join(QStringLiteral(";;"));
}

QColor ToQColor(TColor color, const QWidget& widget) {
    if (color & 0x80000000u) {
        const QPalette palette = QApplication::palette(&widget);
        for (const SystemColour& s : kSystemColours)
            if ((color & 0xFFu) == s.index) return palette.color(s.role);
        return palette.color(QPalette::Base);
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// --- what every control has ---

QtControlBase::QtControlBase(QtControlHost& host, std::string name, QWidget& widget,
                             QtControlBase* container, FocusKind focus)
    : host_(host),
      name_(std::move(name)),
      widget_(widget),
      container_(container),
      focus_(focus),
      naturalPolicy_(widget.focusPolicy()) {
    widget_.setObjectName(FromLatin1(name_));
    widget_.setGeometry(0, 0, 0, 0);
    widget_.show();  // shown with its window: created visible, also on a window already up
    ApplyFocusPolicy();
}

void QtControlBase::ApplyFocusPolicy() {
    Qt::FocusPolicy policy = Qt::NoFocus;
    if (focus_ != FocusKind::None) {
        if (tabOrder_ >= 0)
            policy = naturalPolicy_;
        else if (focus_ == FocusKind::Entry)
            policy = Qt::ClickFocus;
    }
    widget_.setFocusPolicy(policy);
}

void QtControlBase::SetOrder(int order) {
    order = std::max(order, -1);
    if (order == tabOrder_) return;
    tabOrder_ = order;
    ApplyFocusPolicy();
    host_.TabOrderChanged();
}

void QtControlBase::TakeFocus() {
    if (focus_ == FocusKind::None || !widget_.isEnabled()) return;
    if (!widget_.isVisibleTo(widget_.window())) return;
    // In a window that is not active yet, the focus waits there until the window is.
    widget_.setFocus(Qt::OtherFocusReason);
}

bool QtControlBase::HasFocus() const {
    // The window's focus widget also while another window is active; a spin field's editor is
    // Qt's own widget inside it.
    for (const QWidget* w = widget_.window()->focusWidget(); w; w = w->parentWidget()) {
        if (w == &widget_) return true;
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QStringLiteral("qt_")))
            return false;
    }
    return false;
}

// --- labels ---

QtLabel::QtLabel(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container)
    : QtLabel(host, std::move(name), std::make_unique<QLabel>(&parent), container) {}

QtLabel::QtLabel(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label,
                 QtControlBase* container)
    : QtControl(host, std::move(name), *label, container, FocusKind::None),
      label_(std::move(label)) {
    // Never rich text: a caption is shown as it is.
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QtLabel::~QtLabel() = default;

void QtLabel::SetBounds(int left, int top, int width, int height) {
    QtControl::SetBounds(left, top, width, height);
    AdjustSize();
}

void QtLabel::SetCaption(std::string_view caption) {
    caption_ = caption;
    label_->setText(FromDisplay(caption));
    AdjustSize();
}

void QtLabel::SetFont(const framework::TFont& font) {
    font_ = font;
    label_->setFont(DesignFont(font));
    AdjustSize();
}

void QtLabel::SetFontColor(TColor color) {
    fontColor_ = color;
    ApplyRole(*label_, QPalette::WindowText, color);
}

void QtLabel::SetAlignment(framework::TAlignment alignment) {
    alignment_ = alignment;
    label_->setAlignment(
        (alignment == framework::TAlignment::Center ? Qt::AlignHCenter : Qt::AlignLeft) |
        Qt::AlignTop);
}

void QtLabel::SetWordWrap(bool wordWrap) {
    wordWrap_ = wordWrap;
    label_->setWordWrap(wordWrap);
    AdjustSize();
}

void QtLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    AdjustSize();
}

void QtLabel::SetTransparent(bool transparent) {
    transparent_ = transparent;
    // An opaque label fills its box with its palette's window colour, as the form does.
    label_->setAutoFillBackground(!transparent);
}

void QtLabel::AdjustSize() {
    if (!autoSize_) return;
    const QRect r = label_->geometry();
    if (wordWrap_) {
        const int height = label_->heightForWidth(r.width());
        label_->setGeometry(r.x(), r.y(), r.width(),
                            height >= 0 ? height : label_->sizeHint().height());
    } else {
        const QSize size = label_->sizeHint();
        label_->setGeometry(r.x(), r.y(), size.width(), size.height());
    }
}

// --- edit fields ---

namespace {
// Entered from the keyboard, or as the first control of a window just shown, a field selects its
// text, so that typing replaces it (a user name offered again, say); a click places the cursor,
// and coming back to the window leaves the field as it was.
class EntryField final : public QLineEdit {
  public:
    explicit EntryField(QWidget* parent) : QLineEdit(parent) {}

  protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        switch (event->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
            case Qt::OtherFocusReason:
                selectAll();
                break;
            case Qt::ActiveWindowFocusReason:
                if (!enteredSinceShown_) selectAll();
                break;
            default:
                break;
        }
        enteredSinceShown_ = true;
    }
    void hideEvent(QHideEvent* event) override {
        QLineEdit::hideEvent(event);
        enteredSinceShown_ = false;
    }

  private:
    bool enteredSinceShown_ = false;
};
}  // namespace

QtEdit::QtEdit(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container)
    : QtEdit(host, std::move(name), std::make_unique<EntryField>(&parent), container) {}

QtEdit::QtEdit(QtControlHost& host, std::string name, std::unique_ptr<QLineEdit> edit,
               QtControlBase* container)
    : QtControl(host, std::move(name), *edit, container, FocusKind::Entry), edit_(std::move(edit)) {
    // Qt's default of 32,767 characters would cut a long URL without a word.
    edit_->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(edit_.get(), &QLineEdit::textChanged, [this] { host_.RunHandler(OnChange); });
}

QtEdit::~QtEdit() = default;

std::string QtEdit::Text() const {
    return ToLatin1(edit_->text());
}

void QtEdit::SetText(std::string_view text) {
    edit_->setText(FromLatin1(text));
}

void QtEdit::SetColor(TColor color) {
    color_ = color;
    ApplyColour(*edit_, color);
}

bool QtEdit::ReadOnly() const {
    return edit_->isReadOnly();
}

void QtEdit::SetReadOnly(bool readOnly) {
    edit_->setReadOnly(readOnly);
}

void QtEdit::SetFontColor(TColor color) {
    fontColor_ = color;
    ApplyRole(*edit_, QPalette::Text, color);
}

namespace {
// The application's style, with another character for masked text.
class PasswordStyle final : public QProxyStyle {
  public:
    explicit PasswordStyle(char mask)
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name())), mask_(mask) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return static_cast<unsigned char>(mask_);
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

  private:
    char mask_;
};
}  // namespace

void QtEdit::SetPasswordChar(char passwordChar) {
    passwordChar_ = passwordChar;
    if (passwordChar == '\0') {
        edit_->setEchoMode(QLineEdit::Normal);
        edit_->setStyle(QApplication::style());
        passwordStyle_.reset();
        return;
    }
    std::unique_ptr<QStyle> style = std::make_unique<PasswordStyle>(passwordChar);
    edit_->setStyle(style.get());
    passwordStyle_ = std::move(style);
    edit_->setEchoMode(QLineEdit::Password);
}

bool QtEdit::Borderless() const {
    return !edit_->hasFrame();
}

void QtEdit::SetBorderless(bool borderless) {
    edit_->setFrame(!borderless);
    // The frame's room goes to the text, which then starts where the field does.
    edit_->setTextMargins(0, 0, 0, 0);
}

// --- drop-down lists ---

QtComboBox::QtComboBox(QtControlHost& host, std::string name, QWidget& parent,
                       QtControlBase* container)
    : QtComboBox(host, std::move(name), std::make_unique<QComboBox>(&parent), container) {}

QtComboBox::QtComboBox(QtControlHost& host, std::string name, std::unique_ptr<QComboBox> combo,
                       QtControlBase* container)
    : QtControl(host, std::move(name), *combo, container, FocusKind::Entry),
      combo_(std::move(combo)) {
    // activated: the user's choice only, never a change made in code.
    QObject::connect(combo_.get(), &QComboBox::activated, [this] { host_.RunHandler(OnChange); });
}

QtComboBox::~QtComboBox() = default;

void QtComboBox::SetItems(const std::vector<std::string>& items) {
    combo_->clear();
    for (const std::string& item : items)
        combo_->addItem(FromLatin1(item));
    combo_->setCurrentIndex(-1);  // Qt would select the first item
}

std::vector<std::string> QtComboBox::Items() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(combo_->count()));
    for (int i = 0; i < combo_->count(); ++i)
        items.push_back(ToLatin1(combo_->itemText(i)));
    return items;
}

int QtComboBox::ItemIndex() const {
    return combo_->currentIndex();
}

void QtComboBox::SetItemIndex(int index) {
    combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1);
}

void QtComboBox::SetColor(TColor color) {
    color_ = color;
    ApplyColour(*combo_, color);
}

// --- spin fields ---

// A field that holds any text, with arrows that step the integer it spells by one, unbounded.
// QSpinBox would refuse a text that is not a number and clamp to its bounds.
class SpinField final : public QAbstractSpinBox {
  public:
    explicit SpinField(QWidget* parent) : QAbstractSpinBox(parent) {
        // The base class has no value of its own to track while typing.
        setKeyboardTracking(false);
    }

    QLineEdit& Editor() const { return *lineEdit(); }

    QValidator::State validate(QString& /*input*/, int& /*pos*/) const override {
        return QValidator::Acceptable;
    }
    void fixup(QString& /*input*/) const override {}
    void stepBy(int steps) override {
        const long long value = std::clamp<long long>(
            static_cast<long long>(framework::ParseSpinValue(ToLatin1(Editor().text()))) + steps,
            std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        Editor().setText(QString::number(value));
        selectAll();
    }

  protected:
    StepEnabled stepEnabled() const override {
        return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
    }
};

QtSpinEdit::QtSpinEdit(QtControlHost& host, std::string name, QWidget& parent,
                       QtControlBase* container)
    : QtSpinEdit(host, std::move(name), std::make_unique<SpinField>(&parent), container) {}

QtSpinEdit::QtSpinEdit(QtControlHost& host, std::string name, std::unique_ptr<SpinField> spin,
                       QtControlBase* container)
    : QtControl(host, std::move(name), *spin, container, FocusKind::Entry), spin_(std::move(spin)) {
    spin_->Editor().setText(QStringLiteral("0"));  // before OnChange can be bound
    QObject::connect(&spin_->Editor(), &QLineEdit::textChanged,
                     [this] { host_.RunHandler(OnChange); });
}

QtSpinEdit::~QtSpinEdit() = default;

std::string QtSpinEdit::Text() const {
    return ToLatin1(spin_->Editor().text());
}

void QtSpinEdit::SetText(std::string_view text) {
    spin_->Editor().setText(FromLatin1(text));
}

// --- check boxes ---

QtCheckBox::QtCheckBox(QtControlHost& host, std::string name, QWidget& parent,
                       QtControlBase* container)
    : QtCheckBox(host, std::move(name), std::make_unique<QCheckBox>(&parent), container) {}

QtCheckBox::QtCheckBox(QtControlHost& host, std::string name, std::unique_ptr<QCheckBox> box,
                       QtControlBase* container)
    : QtControl(host, std::move(name), *box, container, FocusKind::Button), box_(std::move(box)) {
    // clicked: the user's click (or click()), not setChecked.
    QObject::connect(box_.get(), &QCheckBox::clicked, [this] { host_.RunHandler(OnClick); });
}

QtCheckBox::~QtCheckBox() = default;

void QtCheckBox::SetCaption(std::string_view caption) {
    caption_ = caption;
    box_->setText(FromDisplay(caption));
}

bool QtCheckBox::Checked() const {
    return box_->isChecked();
}

void QtCheckBox::SetChecked(bool checked) {
    box_->setChecked(checked);
}

// --- buttons ---

namespace {
std::unique_ptr<QAbstractButton> MakeButton(bool flat, QWidget& parent) {
    if (!flat) {
        auto button = std::make_unique<QPushButton>(&parent);
        button->setAutoDefault(false);
        return button;
    }
    auto button = std::make_unique<QToolButton>(&parent);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return button;
}
}  // namespace

QtButton::QtButton(QtControlHost& host, std::string name, bool flat, QWidget& parent,
                   QtControlBase* container)
    : QtButton(host, std::move(name), flat, MakeButton(flat, parent), container) {}

QtButton::QtButton(QtControlHost& host, std::string name, bool flat,
                   std::unique_ptr<QAbstractButton> button, QtControlBase* container)
    : QtControl(host, std::move(name), *button, container,
                flat ? FocusKind::None : FocusKind::Button),
      button_(std::move(button)) {
    button_->setIconSize(kGlyphSize);
    QObject::connect(button_.get(), &QAbstractButton::clicked, [this] {
        // The result first, so that OnClick may still take it back.
        if (modalResult_ != framework::DialogResult::None) host_.ModalButtonClicked(modalResult_);
        host_.RunHandler(OnClick);
    });
}

QtButton::~QtButton() = default;

void QtButton::SetCaption(std::string_view caption) {
    caption_ = caption;
    button_->setText(FromDisplay(caption));
}

void QtButton::SetDefault(bool isDefault) {
    default_ = isDefault;
    if (auto* push = dynamic_cast<QPushButton*>(button_.get())) push->setDefault(isDefault);
}

void QtButton::SetGlyph(std::span<const unsigned char> image) {
    QPixmap pixmap;
    hasGlyph_ =
        !image.empty() && pixmap.loadFromData(image.data(), static_cast<uint>(image.size()), "PNG");
    button_->setIcon(hasGlyph_ ? QIcon(pixmap) : QIcon());
}

void QtButton::Click() {
    if (!Visible() || !Enabled()) return;
    button_->click();  // does nothing either while a parent is disabled
}

// --- panels ---

QtPanel::QtPanel(QtControlHost& host, std::string name, QWidget& parent)
    : QtPanel(host, std::move(name), std::make_unique<QFrame>(&parent)) {}

QtPanel::QtPanel(QtControlHost& host, std::string name, std::unique_ptr<QFrame> frame)
    : QtControl(host, std::move(name), *frame, nullptr, FocusKind::None), frame_(std::move(frame)) {
    frame_->setFrameStyle(QFrame::Panel | QFrame::Raised);
}

QtPanel::~QtPanel() = default;

void QtPanel::SetBevel(framework::TPanelBevel bevel) {
    bevel_ = bevel;
    switch (bevel) {
        case framework::TPanelBevel::None:
            frame_->setFrameStyle(QFrame::NoFrame);
            break;
        case framework::TPanelBevel::Raised:
            frame_->setFrameStyle(QFrame::Panel | QFrame::Raised);
            break;
        case framework::TPanelBevel::Lowered:
            frame_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
    }
}

void QtPanel::SetBounds(int left, int top, int width, int height) {
    if (!docked_) return QtControl::SetBounds(left, top, width, height);
    // A docked panel keeps its place; only its height is its own.
    dockHeight_ = std::max(height, 0);
    host_.PlaceDockedPanels();
}

void QtPanel::SetVisible(bool visible) {
    QtControl::SetVisible(visible);
    if (docked_) host_.PlaceDockedPanels();
}

void QtPanel::DockBottom(int height) {
    dockHeight_ = std::max(height, 0);
    if (!docked_) {
        docked_ = true;
        host_.Docked(*this);
    }
    host_.PlaceDockedPanels();
}

// --- group boxes ---

// An etched frame whose top line runs through the middle of the caption, which cuts it: the
// windows place their first row just under the caption, where a style's own group box (caption
// above the frame) would draw its line.
class CaptionFrame final : public QGroupBox {
  public:
    explicit CaptionFrame(QWidget* parent) : QGroupBox(parent) {}

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(frame);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.translated(1, 1));
        if (title().isEmpty()) return;
        const QRect caption(8, 0, metrics.horizontalAdvance(title()), metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
    }
};

QtGroupBox::QtGroupBox(QtControlHost& host, std::string name, QWidget& parent)
    : QtGroupBox(host, std::move(name), std::make_unique<CaptionFrame>(&parent)) {}

QtGroupBox::QtGroupBox(QtControlHost& host, std::string name, std::unique_ptr<QGroupBox> box)
    : QtControl(host, std::move(name), *box, nullptr, FocusKind::None), box_(std::move(box)) {}

QtGroupBox::~QtGroupBox() = default;

void QtGroupBox::SetCaption(std::string_view caption) {
    caption_ = caption;
    box_->setTitle(FromDisplay(caption));
}

// --- progress bars ---

QtProgressBar::QtProgressBar(QtControlHost& host, std::string name, QWidget& parent,
                             QtControlBase* container)
    : QtProgressBar(host, std::move(name), std::make_unique<QProgressBar>(&parent), container) {}

QtProgressBar::QtProgressBar(QtControlHost& host, std::string name,
                             std::unique_ptr<QProgressBar> bar, QtControlBase* container)
    : QtControl(host, std::move(name), *bar, container, FocusKind::None), bar_(std::move(bar)) {
    bar_->setTextVisible(false);
    bar_->setRange(0, 100);
    bar_->setValue(0);
}

QtProgressBar::~QtProgressBar() = default;

int QtProgressBar::Min() const {
    return bar_->minimum();
}

int QtProgressBar::Max() const {
    return bar_->maximum();
}

void QtProgressBar::SetRange(int min, int max) {
    const int position = bar_->value();
    bar_->setRange(min, std::max(min, max));
    SetPosition(position);  // Qt resets a value outside the new range instead of bounding it
}

int QtProgressBar::Position() const {
    return bar_->value();
}

void QtProgressBar::SetPosition(int position) {
    bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
}

// --- bevels ---

class BevelLine final : public QWidget {
  public:
    explicit BevelLine(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

QtBevel::QtBevel(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container)
    : QtBevel(host, std::move(name), std::make_unique<BevelLine>(&parent), container) {}

QtBevel::QtBevel(QtControlHost& host, std::string name, std::unique_ptr<BevelLine> line,
                 QtControlBase* container)
    : QtControl(host, std::move(name), *line, container, FocusKind::None), line_(std::move(line)) {}

QtBevel::~QtBevel() = default;

// --- pictures ---

QtImage::QtImage(QtControlHost& host, std::string name, QWidget& parent, QtControlBase* container)
    : QtImage(host, std::move(name), std::make_unique<QLabel>(&parent), container) {}

QtImage::QtImage(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label,
                 QtControlBase* container)
    : QtControl(host, std::move(name), *label, container, FocusKind::None),
      label_(std::move(label)) {
    label_->setScaledContents(true);
}

QtImage::~QtImage() = default;

bool QtImage::LoadPicture(std::span<const unsigned char> image) {
    if (!framework::ImageFileSize(image)) return false;
    QImage decoded;
    if (!decoded.loadFromData(image.data(), static_cast<int>(image.size())) || decoded.isNull())
        return false;
    label_->setPixmap(QPixmap::fromImage(decoded));
    size_ = {decoded.width(), decoded.height()};
    return true;
}

void QtImage::ClearPicture() {
    label_->clear();
    size_ = {};
}

// --- the open dialog ---

std::optional<std::string> QtOpenDialog::Execute() {
    const QString path = QFileDialog::getOpenFileName(parent_ ? parent_() : nullptr, QString(),
                                                      QString(), QtFileFilter(filter_));
    if (path.isEmpty()) return std::nullopt;
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace pw::ui::qt
