#include "ui/qt/QtControls.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
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
    {0x12, QPalette::ButtonText},       // button text
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

QtControlBase::QtControlBase(QtControlHost& host, std::string name, QWidget& widget, QtPanel* panel,
                             FocusKind focus)
    : host_(host),
      name_(std::move(name)),
      widget_(widget),
      panel_(panel),
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

// --- labels ---

QtLabel::QtLabel(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel)
    : QtLabel(host, std::move(name), std::make_unique<QLabel>(&parent), panel) {}

QtLabel::QtLabel(QtControlHost& host, std::string name, std::unique_ptr<QLabel> label,
                 QtPanel* panel)
    : QtControl(host, std::move(name), *label, panel, FocusKind::None), label_(std::move(label)) {
    // Never rich text: a caption is shown as it is.
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QtLabel::~QtLabel() = default;

std::string QtLabel::Caption() const {
    return ToLatin1(label_->text());
}

void QtLabel::SetCaption(std::string_view caption) {
    label_->setText(FromLatin1(caption));
}

void QtLabel::SetFont(int pointSize, bool bold) {
    if (pointSize > 0) fontSize_ = pointSize;
    QFont font = DesignFont(fontSize_);
    font.setBold(bold);
    label_->setFont(font);
}

int QtLabel::FontSize() const {
    return fontSize_;
}

bool QtLabel::Bold() const {
    return label_->font().bold();
}

void QtLabel::SetAlignment(framework::TAlignment alignment) {
    alignment_ = alignment;
    label_->setAlignment(
        (alignment == framework::TAlignment::Center ? Qt::AlignHCenter : Qt::AlignLeft) |
        Qt::AlignTop);
}

// --- edit fields ---

QtEdit::QtEdit(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel)
    : QtEdit(host, std::move(name), std::make_unique<QLineEdit>(&parent), panel) {}

QtEdit::QtEdit(QtControlHost& host, std::string name, std::unique_ptr<QLineEdit> edit,
               QtPanel* panel)
    : QtControl(host, std::move(name), *edit, panel, FocusKind::Entry), edit_(std::move(edit)) {
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

// --- drop-down lists ---

QtComboBox::QtComboBox(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel)
    : QtComboBox(host, std::move(name), std::make_unique<QComboBox>(&parent), panel) {}

QtComboBox::QtComboBox(QtControlHost& host, std::string name, std::unique_ptr<QComboBox> combo,
                       QtPanel* panel)
    : QtControl(host, std::move(name), *combo, panel, FocusKind::Entry), combo_(std::move(combo)) {
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

QtSpinEdit::QtSpinEdit(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel)
    : QtSpinEdit(host, std::move(name), std::make_unique<SpinField>(&parent), panel) {}

QtSpinEdit::QtSpinEdit(QtControlHost& host, std::string name, std::unique_ptr<SpinField> spin,
                       QtPanel* panel)
    : QtControl(host, std::move(name), *spin, panel, FocusKind::Entry), spin_(std::move(spin)) {
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

QtCheckBox::QtCheckBox(QtControlHost& host, std::string name, QWidget& parent, QtPanel* panel)
    : QtCheckBox(host, std::move(name), std::make_unique<QCheckBox>(&parent), panel) {}

QtCheckBox::QtCheckBox(QtControlHost& host, std::string name, std::unique_ptr<QCheckBox> box,
                       QtPanel* panel)
    : QtControl(host, std::move(name), *box, panel, FocusKind::Button), box_(std::move(box)) {
    // clicked: the user's click (or click()), not setChecked.
    QObject::connect(box_.get(), &QCheckBox::clicked, [this] { host_.RunHandler(OnClick); });
}

QtCheckBox::~QtCheckBox() = default;

std::string QtCheckBox::Caption() const {
    return ToLatin1(box_->text());
}

void QtCheckBox::SetCaption(std::string_view caption) {
    box_->setText(FromLatin1(caption));
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
                   QtPanel* panel)
    : QtButton(host, std::move(name), flat, MakeButton(flat, parent), panel) {}

QtButton::QtButton(QtControlHost& host, std::string name, bool flat,
                   std::unique_ptr<QAbstractButton> button, QtPanel* panel)
    : QtControl(host, std::move(name), *button, panel, flat ? FocusKind::None : FocusKind::Button),
      button_(std::move(button)) {
    button_->setIconSize(kGlyphSize);
    QObject::connect(button_.get(), &QAbstractButton::clicked,
                     [this] { host_.RunHandler(OnClick); });
}

QtButton::~QtButton() = default;

std::string QtButton::Caption() const {
    return ToLatin1(button_->text());
}

void QtButton::SetCaption(std::string_view caption) {
    button_->setText(FromLatin1(caption));
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

// --- the open dialog ---

std::optional<std::string> QtOpenDialog::Execute() {
    const QString path = QFileDialog::getOpenFileName(parent_ ? parent_() : nullptr, QString(),
                                                      QString(), QtFileFilter(filter_));
    if (path.isEmpty()) return std::nullopt;
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace pw::ui::qt
