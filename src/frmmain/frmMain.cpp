#include "frmmain/frmMain.h"

#include "engine/ConnectionText.h"
#include "engine/NumberText.h"
#include "general/Settings.h"
#include "journal/RepairJournal.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int twipsPerPixel = 15;
constexpr const char* windowCaption = "Habitorium Rent Analysis";
constexpr const char* databaseFileName = "property.mdb";

QRect fromTwips(int left, int top, int width, int height) {
    return {left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel, height / twipsPerPixel};
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

// The setting's text as a 32-bit number: decimal (a fraction rounds half to
// even) or "&h" hexadecimal, blanks around it ignored. Nothing for any other text.
std::optional<std::int32_t> settingNumber(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::nullopt;
    const std::string t = text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'h' || t[1] == 'H')) {
        std::uint32_t value = 0;
        const char* last = t.data() + t.size();
        auto [end, error] = std::from_chars(t.data() + 2, last, value, 16);
        if (error != std::errc() || end != last)
            return std::nullopt;
        return static_cast<std::int32_t>(value); // &hFFFFFFFF is -1, as the platform reads it
    }
    // Only a sign, digits and one point; the reading itself ignores the locale.
    const std::string body = t.substr(t[0] == '+' || t[0] == '-' ? 1 : 0);
    const auto points = std::count(body.begin(), body.end(), '.');
    if (body.find_first_not_of("0123456789.") != std::string::npos || points > 1 ||
        body.size() == static_cast<std::size_t>(points))
        return std::nullopt;
    const double value = std::nearbyint(engine::LeadingNumber(t));
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

frmMain::frmMain(const platform::Platform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform), errorReport_(platform.messages, platform.clock, platform.files),
      database_(platform.messages, platform.files, errorReport_),
      journal_(std::make_unique<journal::RepairJournal>(platform.user.dataFolder())) {
    createControls();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    setObjectName("frmMain");
    setWindowTitle(windowCaption);
    // A fixed dialog frame: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(7515 / twipsPerPixel, 5760 / twipsPerPixel);
    // The layout is drawn for a small, narrow dialog font: at 11 pixels,
    // condensed, the widest caption, "Total of income transactions
    // paid", still fits its label.
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    dialogFont.setStretch(QFont::Condensed);
    setFont(dialogFont);

    Command1 = makeButton(this, "Command1", "Fix this value", fromTwips(5520, 3960, 1695, 375));
    cmdFixAll = makeButton(this, "cmdFixAll", "Fix All", fromTwips(240, 4320, 1695, 375));
    cmdFix = makeButton(this, "cmdFix", "Fix this value", fromTwips(5520, 3120, 1695, 375));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName("Combo1");
    Combo1->setGeometry(fromTwips(2160, 960, 2175, 315));
    Combo1->setEditable(false);
    Combo1->setFocusPolicy(Qt::StrongFocus);
    cmdExit = makeButton(this, "cmdExit", "Exit", fromTwips(3120, 4320, 1455, 375));
    Label23 = makeLabel(this, "Label23", "Extra Charges", fromTwips(240, 3960, 2415, 255));
    Label22 = makeLabel(this, "Label22", "", fromTwips(2760, 3960, 1215, 255));
    Label21 = makeLabel(this, "Label21", "", fromTwips(4200, 3960, 1215, 255));
    Label20 = makeLabel(this, "Label20", "", fromTwips(4200, 2880, 1215, 255));
    Label19 = makeLabel(this, "Label19", "", fromTwips(4200, 3240, 1215, 255));
    Label18 = makeLabel(this, "Label18", "", fromTwips(4200, 3600, 1215, 255));
    Label17 = makeLabel(this, "Label17", "Extra Charges", fromTwips(4200, 2640, 1215, 255));
    Label16 = makeLabel(this, "Label16", "Rent", fromTwips(2760, 2640, 1215, 255));
    Label15 = makeLabel(this, "Label15", "Total of Rental Periods Due", fromTwips(240, 3600, 2415, 255));
    Label14 = makeLabel(this, "Label14", "", fromTwips(2760, 3600, 1215, 255));
    Label13 = makeLabel(this, "Label13", "", fromTwips(2760, 1560, 1215, 255));
    Label12 = makeLabel(this, "Label12", "Tenancy start date", fromTwips(240, 1560, 2415, 255));
    Label11 = makeLabel(this, "Label11", "", fromTwips(2760, 1920, 1215, 255));
    Label10 = makeLabel(this, "Label10", "", fromTwips(2760, 2280, 1215, 255));
    Label9 = makeLabel(this, "Label9", "First transaction date", fromTwips(240, 1920, 2415, 255));
    Label8 = makeLabel(this, "Label8", "Rental Periods start date", fromTwips(240, 2280, 2415, 255));
    Label7 = makeLabel(this, "Label7", "", fromTwips(2760, 3240, 1215, 255));
    Label6 = makeLabel(this, "Label6", "", fromTwips(2760, 2880, 1215, 255));
    Label5 = makeLabel(this, "Label5", "Total of Rental Periods paid", fromTwips(240, 3240, 2415, 255));
    Label4 = makeLabel(this, "Label4", "Total of income transactions paid", fromTwips(240, 2880, 2415, 255));
    Label2 = makeLabel(this, "Label2", "", fromTwips(4440, 960, 3015, 255));
    Label3 = makeLabel(this, "Label3", "Select Tenant", fromTwips(120, 960, 1935, 255));
    lblDatabase = makeLabel(this, "lblDatabase", "", fromTwips(1800, 240, 5655, 495));
    lblDatabase->setWordWrap(true); // two lines high, for a long path
    Label1 = makeLabel(this, "Label1", "Database Location", fromTwips(120, 240, 1575, 255));

    // Keyboard order by tab index; labels take no focus.
    setTabOrder(cmdExit, Combo1);
    setTabOrder(Combo1, cmdFix);
    setTabOrder(cmdFix, cmdFixAll);
    setTabOrder(cmdFixAll, Command1);
    cmdExit->setFocus();

    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
    connect(cmdFix, &QPushButton::clicked, this, [this] { cmdFix_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdFixAll, &QPushButton::clicked, this, [this] { cmdFixAll_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    // Undo has no control of its own: the standard key anywhere in the window.
    mnuUndo = new QAction(this);
    mnuUndo->setObjectName("mnuUndo");
    mnuUndo->setShortcut(QKeySequence::Undo);
    mnuUndo->setShortcutContext(Qt::WindowShortcut);
    addAction(mnuUndo);
    connect(mnuUndo, &QAction::triggered, this, [this] { mnuUndo_Click(); });
}

void frmMain::showMessage(const std::string& text) {
    platform_.messages.showMessage(text);
}

std::string frmMain::tenantReference() const {
    return Combo1->currentText().toStdString();
}

void frmMain::Form_Load() {
    platform::FileSystem& files = platform_.files;
    platform::Registry& registry = platform_.registry;
    const std::string folder = files.programFolder();
    const std::string programDatabase = platform::joinPath(folder, databaseFileName);

    // A settings file that exists but cannot be read is said once, before
    // anything else; the defaults then apply as for a missing file.
    const std::string settingsProblem =
        SettingsProblemText(registry, "Settings", {"Networkable", "DatabaseLocation", "APPPath"});
    if (!settingsProblem.empty())
        showMessage(settingsProblem);

    std::string networkable = GetAppSetting(registry, "Settings", "Networkable", "0");
    std::optional<std::int32_t> networked = settingNumber(networkable);
    if (!networked) {
        // A setting that is not a number must not stop the tool from starting.
        showMessage("The setting Networkable has the value \"" + networkable +
                    "\", which is not a number. The local database is used.");
        networked = 0;
    }

    std::string path;
    if (*networked != 0) {
        path = GetAppSetting(registry, "Settings", "DatabaseLocation", programDatabase);
        // A connection text ("ODBC;...") names a database server, not a file:
        // it has no existence test and no fallbacks.
        if (!engine::IsConnectionText(path) && !files.isNormalFile(path)) {
            const std::string failed = path;
            path = programDatabase;
            if (files.isFolder(failed)) {
                // A folder is said to be one. With no database in the program's
                // folder to turn to, the folder stays the path, so the start
                // fails naming it rather than some other missing file.
                if (files.isNormalFile(path))
                    showMessage(failed + " is a folder, not a database file.\r\nReverting back to \r\n" + path);
                else
                    path = failed;
            } else {
                if (!files.isNormalFile(path))
                    path = platform::joinPath(GetAppSetting(registry, "Settings", "APPPath", ""), databaseFileName);
                showMessage("Unable to access \r\n" + failed + "\r\nReverting back to \r\n" + path);
            }
        }
    } else {
        path = programDatabase;
        // The folder above the program's folder wins over the program's own.
        const std::string parentDatabase = platform::joinPath(platform::joinPath(folder, ".."), databaseFileName);
        if (files.isNormalFile(parentDatabase))
            path = parentDatabase;
        if (!files.isNormalFile(path))
            path = platform::joinPath(GetAppSetting(registry, "Settings", "APPPath", ""), databaseFileName);
    }
    // The label shows the location with any password masked; the open uses
    // the location as it was read.
    databaseLocation_ = path;
    lblDatabase->setText(QString::fromStdString(engine::MaskPassword(path)));
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The database is opened once, after the window first appears; coming
    // back to the window later keeps the list and its selection.
    if (!activated_) {
        activated_ = true;
        QTimer::singleShot(0, this, [this] { Form_Activate(); });
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (batchRunning_) {
        // The window stays until the batch has said what it did.
        event->ignore();
        if (!endDuringBatch_)
            endDuringBatch_ = BatchSummary::End::WindowClosed;
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted())
        platform_.program.endProgram(0);
}

void frmMain::Form_Activate() {
    std::string path = lblDatabase->text().toStdString();
    if (path == engine::MaskPassword(databaseLocation_))
        path = databaseLocation_;
    if (database_.OpenDatabaseFile(path) != -1) {
        showMessage("Unable to start habitorium database.");
        // A start that failed ends with a status that scripts can see.
        platform_.program.endProgram(1);
        return;
    }
    LoadReferenceData();
}

void frmMain::cmdExit_Click() {
    if (batchRunning_) {
        // The batch ends at the next tenant boundary and then ends the program.
        if (!endDuringBatch_)
            endDuringBatch_ = BatchSummary::End::ExitPressed;
        return;
    }
    platform_.program.endProgram(0);
}

bool frmMain::SetListIndex(int index) {
    if (index < -1 || index >= Combo1->count())
        return false;
    Combo1->setCurrentIndex(index);
    Combo1_Click();
    return true;
}
