#include "app/row_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "app/app_icon.h"
#include "platform/app_folder.h"
#include "widgets/button_keys.h"

namespace morrowset {

namespace {

using wardline::ControlDesign;
using wardline::TextHolder;
using wardline::TwipScale;
using wardline::Twips;

constexpr int kClientWidth = 5400;
constexpr int kClientHeight = 2940;

// The day boxes: one row of seven, this far apart.
constexpr Twips kFirstDay{120, 375, 690, 255};
constexpr int kDayStep = 735;
// The room a check box's mark and its gap take before the text.
constexpr int kCheckMarkTwips = 255;

constexpr ControlDesign<frmRowSettings, QLabel> kLabels[] = {
    {&frmRowSettings::lblDays, {120, 120, 5160, 225}, "Runs on these days:"},
    {&frmRowSettings::lblTimeLimit, {120, 795, 1200, 225}, "Time limit:"},
    {&frmRowSettings::lblNoLimit, {3600, 795, 1680, 225}, "(empty: no limit)"},
    {&frmRowSettings::lblFolder, {120, 1215, 5160, 225}, "Start in folder (empty: Morrowset's own):"},
};
constexpr Twips kProblem{120, 1905, 5160, 465};
constexpr ControlDesign<frmRowSettings, QLineEdit> kBoxes[] = {
    {&frmRowSettings::txtTimeLimit, {1380, 750, 900, 315}},
    {&frmRowSettings::txtFolder, {120, 1470, 3960, 315}},
};
constexpr Twips kUnit{2340, 750, 1200, 315};
constexpr ControlDesign<frmRowSettings, QPushButton> kButtons[] = {
    {&frmRowSettings::cmdBrowse, {4140, 1455, 1140, 345}, "&Browse..."},
    {&frmRowSettings::cmdOK, {2760, 2475, 1200, 345}, "OK"},
    {&frmRowSettings::cmdCancel, {4080, 2475, 1200, 345}, "Cancel"},
};

// The time limit's units, in the order of the list.
struct Unit {
    const char* name;
    char letter;  // as the settings file writes it
};
constexpr Unit kUnits[] = {{"seconds", 's'}, {"minutes", 'm'}, {"hours", 'h'}};
constexpr int kMinutes = 1;

QLabel* label(QWidget* parent, const QString& text) { return new QLabel(text, parent); }
QLineEdit* lineEdit(QWidget* parent, const QString&) { return new QLineEdit(parent); }
QPushButton* button(QWidget* parent, const QString& caption) { return new QPushButton(caption, parent); }

QString fromBytes(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string toBytes(const QString& text) { return text.toUtf8().toStdString(); }

// A chosen folder as the settings file best keeps it: one in the home folder as "~/...".
std::string asWritten(const std::string& path) {
    std::string home = platform::homeFolder();
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home.empty() || home == "/") return path;
    if (path == home) return "~/";
    if (path.starts_with(home + "/")) return "~" + path.substr(home.size());
    return path;
}

}  // namespace

int frmRowSettings::dayOf(int box) {
    const int first = static_cast<int>(QLocale().firstDayOfWeek()) - 1;  // Qt counts Monday as 1
    return (first + box) % kDaysPerWeek;
}

frmRowSettings::frmRowSettings(int index, const RowRules& rules, QWidget* parent)
    : QDialog(parent), given_(rules), result_(rules), scale_(layoutScale(font())) {
    setWindowTitle(QString("Row %1 settings").arg(index + 1));
    setWindowIcon(morrowsetIcon());
    setFixedSize(scale_.size(kClientWidth, kClientHeight));
    createControls();
    showRules(rules);
    connectEdits();
}

std::optional<RowRules> frmRowSettings::edit(int index, const RowRules& rules, QWidget* parent) {
    frmRowSettings dialog(index, rules, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.rules();
}

// The scale at which every caption fits its control: the labels, the buttons, the day
// names beside their marks, the units in their list, and the longest message in two lines.
TwipScale frmRowSettings::layoutScale(const QFont& font) {
    std::vector<wardline::TextRoom> rooms = wardline::captionRooms(kButtons, TextHolder::Button, font);
    const std::vector<wardline::TextRoom> labels = wardline::captionRooms(kLabels, TextHolder::Label, font);
    rooms.insert(rooms.end(), labels.begin(), labels.end());
    for (int day = 0; day < kDaysPerWeek; ++day)
        rooms.push_back({QString::fromLatin1(shortDayName(day).data(), 3), kFirstDay.width - kCheckMarkTwips,
                         kFirstDay.height, TextHolder::Label, font});
    for (const Unit& unit : kUnits)
        rooms.push_back({unit.name, kUnit.width, kUnit.height, TextHolder::ComboBox, font});
    const std::string longest =
        cannotBeRead(RowRules::Folder, "reports", readFolder("reports").fault);
    rooms.push_back({fromBytes(longest), kProblem.width, kProblem.height, TextHolder::WrappedLabel, font});
    return TwipScale::forText(font, rooms);
}

void frmRowSettings::createControls() {
    wardline::createControls(*this, kLabels, this, scale_, label);
    wardline::createControls(*this, kBoxes, this, scale_, lineEdit);
    for (int box = 0; box < kDaysPerWeek; ++box) {
        const std::string_view name = shortDayName(dayOf(box));
        chkDay[static_cast<std::size_t>(box)] = new QCheckBox(QString::fromLatin1(name.data(), 3), this);
        chkDay[static_cast<std::size_t>(box)]->setGeometry(
            scale_.rect({kFirstDay.left + box * kDayStep, kFirstDay.top, kFirstDay.width, kFirstDay.height}));
    }
    cboUnit = new QComboBox(this);
    for (const Unit& unit : kUnits) cboUnit->addItem(unit.name);
    cboUnit->setGeometry(scale_.rect(kUnit));
    lblProblem = new QLabel(this);
    lblProblem->setWordWrap(true);
    lblProblem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblProblem->setGeometry(scale_.rect(kProblem));
    wardline::createControls(*this, kButtons, this, scale_, button);
    lblTimeLimit->setBuddy(txtTimeLimit);
    lblFolder->setBuddy(txtFolder);
    cmdOK->setDefault(true);
    for (QPushButton* each : {cmdBrowse, cmdOK, cmdCancel}) wardline::clickOnEnter(each);
    // Tab goes through the days, the time limit, the folder, then the buttons.
    std::vector<QWidget*> order(chkDay.begin(), chkDay.end());
    order.insert(order.end(), {txtTimeLimit, cboUnit, txtFolder, cmdBrowse, cmdOK, cmdCancel});
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    connect(cmdOK, &QPushButton::clicked, this, &frmRowSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmRowSettings::cmdBrowse_Click);
}

// Marks a field edited at the user's first change of one of its controls.
void frmRowSettings::connectEdits() {
    const auto edits = [this](RowRules::Field field) { return [this, field] { edited_.at(field) = true; }; };
    for (QCheckBox* box : chkDay) connect(box, &QCheckBox::toggled, this, edits(RowRules::Days));
    connect(txtTimeLimit, &QLineEdit::textEdited, this, edits(RowRules::TimeLimit));
    connect(cboUnit, &QComboBox::activated, this, edits(RowRules::TimeLimit));
    connect(txtFolder, &QLineEdit::textChanged, this, edits(RowRules::Folder));
}

void frmRowSettings::showRules(const RowRules& rules) {
    for (int box = 0; box < kDaysPerWeek; ++box)
        chkDay[static_cast<std::size_t>(box)]->setChecked(rules.days == 0 || (rules.days & dayBit(dayOf(box))));
    const std::string limit = timeLimitText(rules.timeLimitSeconds);  // "45m"
    cboUnit->setCurrentIndex(kMinutes);
    if (!limit.empty()) {
        txtTimeLimit->setText(fromBytes(limit.substr(0, limit.size() - 1)));
        for (int unit = 0; unit < static_cast<int>(std::size(kUnits)); ++unit)
            if (kUnits[unit].letter == limit.back()) cboUnit->setCurrentIndex(unit);
    }
    txtFolder->setText(fromBytes(rules.folder));
    QStringList problems;
    for (const std::string& why : rules.unreadable)
        if (!why.empty()) problems << fromBytes(why);
    lblProblem->setText(problems.join('\n'));
}

std::optional<RowRules> frmRowSettings::read() {
    RowRules rules = given_;
    std::string problem;
    if (edited_[RowRules::Days]) {
        DaySet days = 0;
        for (int box = 0; box < kDaysPerWeek; ++box)
            if (chkDay[static_cast<std::size_t>(box)]->isChecked()) days |= dayBit(dayOf(box));
        if (days == 0) problem = "Check at least one day.";
        rules.days = days == kAllDays ? 0 : days;
        rules.unreadable[RowRules::Days].clear();
    }
    if (edited_[RowRules::TimeLimit]) {
        const std::string number = toBytes(txtTimeLimit->text().trimmed());
        const Unit& unit = kUnits[cboUnit->currentIndex()];
        const Reading<int32_t> reading = readTimeLimit(number.empty() ? "" : number + unit.letter);
        rules.timeLimitSeconds = reading.value;
        rules.unreadable[RowRules::TimeLimit] =
            reading.ok() ? "" : cannotBeRead(RowRules::TimeLimit, number + " " + unit.name, reading.fault);
    }
    if (edited_[RowRules::Folder]) rules.set(RowRules::Folder, toBytes(txtFolder->text()));
    for (int field = 0; field < RowRules::kFields && problem.empty(); ++field)
        if (edited_[static_cast<std::size_t>(field)]) problem = rules.unreadable[static_cast<std::size_t>(field)];
    if (problem.empty()) return rules;
    lblProblem->setText(fromBytes(problem));
    return std::nullopt;
}

void frmRowSettings::cmdOK_Click() {
    if (std::optional<RowRules> rules = read()) {
        result_ = std::move(*rules);
        accept();
    }
}

// The desktop's folder chooser where it has one (the toolkit's own otherwise), modal to this
// dialog and open without holding the event loop; it fills the folder box.
void frmRowSettings::cmdBrowse_Click() {
    const std::optional<std::string> current = startFolder(toBytes(txtFolder->text().trimmed()));
    const std::string start = current && !current->empty() ? *current : platform::homeFolder();
    chooser_ = new QFileDialog(this, "Folder to start in", fromBytes(start));
    chooser_->setAttribute(Qt::WA_DeleteOnClose);
    chooser_->setFileMode(QFileDialog::Directory);
    chooser_->setOption(QFileDialog::ShowDirsOnly);
    connect(chooser_, &QFileDialog::fileSelected, this, &frmRowSettings::folderChosen);
    connect(chooser_, &QObject::destroyed, this, [this] { chooser_ = nullptr; });
    chooser_->open();
}

void frmRowSettings::folderChosen(const QString& path) {
    if (!path.isEmpty()) txtFolder->setText(fromBytes(asWritten(toBytes(path))));
}

}  // namespace morrowset
