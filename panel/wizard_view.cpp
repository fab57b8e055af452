#include "panel/wizard_view.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include "panel/panel_run_host.h"
#include "platform/file_system.h"
#include "platform/ui/gdi.h"
#include "platform/ui/shell.h"
#include "res/resource.h"
#include "runs/repair_worker.h"
#include "runs/run_texts.h"
#include "runs/save_worker.h"
#include "runs/system_files.h"
#include "skin/artwork.h"
#include "skin/font.h"
#include "skin/gradient.h"

namespace deckwright {

namespace {

// The panel's own words, exactly as users have always seen them (odd spellings and blanks
// included).
const std::string kCaption(kMessageCaption);
constexpr char kAddFilesFirst[] = "Add file(s) in the list to repair";
constexpr char kSelectFiles[] = "Select file(s) in the list to repair";
constexpr char kSavedListEmpty[] = "Saved List is empty ";
constexpr char kRunInProgress[] = "Repair or Save is in progress. Please wait for it to end";
constexpr char kPressFinish[] = "Please press finish to start again";
constexpr char kCannotDelete[] = "You Cannot DeleteFile Form Save or Saved List";
constexpr char kAlreadyAdded[] = "This file has already been added      ";
constexpr char kCompleted[] = "Deckwright process Completed !!!";
// Save File off its page: our own refusal, in the same voice as Repair File's.
constexpr char kRepairBeforeSaving[] =
    "Please repair the file(s) first,\nthen save the repaired file(s)";

constexpr char kFinishedRepairing[] = "Finished Reparing Files....";
constexpr char kFinishedSaving[] = "Finished Saving Files....";
// The completion texts end in blanks whose background cells cover a longer text before them.
constexpr std::size_t kFinishedRepairingBlanks = 146;
constexpr std::size_t kFinishedSavingBlanks = 188;

constexpr COLORREF kTextColour = RGB(0, 0, 0);
constexpr COLORREF kTextBackground = RGB(240, 156, 72);
constexpr COLORREF kTitleColour = RGB(0, 128, 0);
constexpr char kTextFace[] = "Times New Roman";
constexpr char kTitleFace[] = "Monotype Corsiva";

constexpr DWORD kListWithChecks = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
constexpr DWORD kListWithoutChecks = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

}  // namespace

const char* CWizardView::InstructionOf(int page) {
    switch (page) {
        case CWizardView::PAGE_FILES:
            return "Press \"Add file\" button to add file in list. Then press next to repair.";
        case CWizardView::PAGE_REPAIRED:
            return "Select file from repaired file list. Then press next to save repaired file.";
        case CWizardView::PAGE_SAVED:
            return "Press Finish to start again ";
        default:
            return nullptr;
    }
}

namespace {

// "%a, %b %d, %Y" in local time, with English names whatever the user's language.
std::string FormatCreationDate(std::int64_t seconds) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t time = static_cast<std::time_t>(seconds);
    const std::tm* local = std::localtime(&time);  // the user-interface thread's alone
    if (!local) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%s, %s %02d, %04d", kDays[local->tm_wday % 7],
                  kMonths[local->tm_mon % 12], local->tm_mday, local->tm_year + 1900);
    return text;
}

}  // namespace

CWizardView::CWizardView(WizardDialogs& dialogs, std::string settings_location,
                         std::unique_ptr<FileOperations> files)
    : m_dialogs(dialogs),
      m_settingsLocation(std::move(settings_location)),
      m_files(files ? std::move(files) : std::make_unique<SystemFileOperations>()) {
    m_settingsLoaded = LoadSettings(m_settingsLocation);
    m_strSuffix = m_settingsLoaded.suffix;
    // Until the user picks a folder, Documents: the program's own folder is often not
    // writable, and the shell would be asked to open "".
    m_strSaveFolder =
        m_settingsLoaded.save_folder.empty() ? DefaultSaveFolder() : m_settingsLoaded.save_folder;

    OnMessage(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        CDC dc(reinterpret_cast<HDC>(wp));
        OnEraseBkgnd(dc);
        return 1;
    });
    OnMessage(WM_PAINT, [this](WPARAM, LPARAM) {
        OnPaint();
        return 0;
    });
    OnMessage(WM_DROPFILES, [this](WPARAM drop, LPARAM) {
        OnDropFiles(DroppedFiles(drop));
        return 0;
    });
    OnMessage(WM_REPAIR_PROGRESS, [this](WPARAM code, LPARAM index) {
        OnRepairProgress(static_cast<int>(code), static_cast<int>(index));
        return 0;
    });
    OnMessage(WM_SAVE_PROGRESS, [this](WPARAM code, LPARAM index) {
        OnSaveProgress(static_cast<int>(code), static_cast<int>(index));
        return 0;
    });
    OnCommand(ID_ADD_FILE, [this] { OnAddFile(); });
    OnCommand(ID_REMOVE_SELECTED, [this] { OnRemoveSelected(); });
    OnCommand(ID_REMOVE_ALL, [this] { OnRemoveAll(); });
    OnCommand(ID_REPAIR_FILE, [this] { OnRepairFile(); });
    OnCommand(ID_SAVE_FILE, [this] { OnSaveFile(); });
    OnCommand(ID_SETTINGS, [this] { OnSettings(); });
    for (UINT id = 200; id <= IDC_SELECT_ALL; ++id) {
        OnCommand(id, [this, id] { OnWizardButton(id); });
    }
}

CWizardView::~CWizardView() {
    // Settings first. Values the user did not edit go back as they were read: a value that
    // could not be read stays as it is stored, and the Documents default is not written.
    Settings store = m_settingsLoaded;
    if (m_bSettingsEdited) store = Settings{m_strSaveFolder, m_strSuffix};
    StoreSettings(store, m_settingsLocation);
    JoinWorker();
}

bool CWizardView::PreCreateWindow(CREATESTRUCTW& cs) {
    // Files dragged from Explorer land here, over the lists too (they take none themselves).
    cs.dwExStyle |= WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
    cs.style &= ~static_cast<LONG>(WS_BORDER);
    cs.lpszClass =
        RegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW),
                         reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return true;
}

bool CWizardView::Create(const wchar_t* className, const std::string& windowName, DWORD style,
                         const RECT& rect, CWnd& parent, UINT id, void*) {
    if (!CreateEx(0, className, windowName, style, rect, parent.m_hWnd, id)) return false;
    const RECT none{0, 0, 0, 0};
    CreateList(m_listFiles, WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, kListWithChecks,
               "Creation Time");
    CreateList(m_listRepaired, WS_CHILD | WS_BORDER | LVS_REPORT, kListWithChecks, "Status");
    CreateList(m_listSaved, WS_CHILD | WS_BORDER | LVS_REPORT, kListWithoutChecks, "Status");
    m_progress.Create(WS_CHILD | WS_BORDER, none, *this, 1);
    m_btnNext.Create("Next", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, none, *this, IDC_NEXT);
    m_btnNext.LoadBitmaps(IDB_NEXT, IDB_NEXT_PRESSED, 0, 0);
    m_btnPrevious.Create("Previous", WS_CHILD | BS_OWNERDRAW, none, *this, IDC_PREVIOUS);
    m_btnPrevious.LoadBitmaps(IDB_PREVIOUS, IDB_PREVIOUS_PRESSED, 0, 0);
    m_btnFinished.Create("Finished", WS_CHILD | BS_OWNERDRAW, none, *this, IDC_FINISHED);
    m_btnFinished.LoadBitmaps(IDB_FINISHED, IDB_FINISHED_PRESSED, 0, 0);
    m_chkSelectAll.Create("", WS_CHILD | WS_VISIBLE | BS_FLAT | BS_AUTOCHECKBOX, none, *this,
                          IDC_SELECT_ALL);
    return true;
}

void CWizardView::CreateList(CListCtrl& list, DWORD style, DWORD exStyle, const char* lastHeading) {
    list.Create(style, RECT{0, 0, 0, 0}, *this, 1);
    list.SetExtendedStyle(exStyle);
    list.InsertColumn(0, "File Name", LVCFMT_LEFT, Scale(200));
    list.InsertColumn(1, "File Location", LVCFMT_LEFT, Scale(300));
    list.InsertColumn(2, "File Size", LVCFMT_LEFT, Scale(100));
    list.InsertColumn(3, lastHeading, LVCFMT_LEFT, Scale(100));
}

void CWizardView::LayoutControls(int cx, int cy) {
    m_sizeLayout = SIZE{cx, cy};
    if (!m_hWnd) return;
    auto S = [this](int pixelsAt96) { return Scale(pixelsAt96); };
    for (CListCtrl* list : {&m_listFiles, &m_listRepaired, &m_listSaved}) {
        list->MoveWindow(S(50), S(100), cx - S(100), cy - S(280), true);
    }
    m_btnNext.MoveWindow(cx - S(134), cy - S(145), S(82), S(39), true);
    m_btnFinished.MoveWindow(cx - S(134), cy - S(145), S(82), S(39), true);
    m_btnPrevious.MoveWindow(cx - S(243), cy - S(145), S(84), S(39), true);
    m_chkSelectAll.MoveWindow(S(70), cy - S(150), S(13), S(13), true);
    m_progress.MoveWindow(S(100), cy - S(130), cx - S(200), S(20), true);
    m_rcStatus = RECT{S(100), cy - S(150), cx - S(100), cy - S(130)};
}

void CWizardView::OnDpiChanged() {
    for (CBitmapButton* button : {&m_btnNext, &m_btnPrevious, &m_btnFinished}) {
        button->OnDpiChanged();
    }
}

CWizardView::PaintLayout CWizardView::GetPaintLayout() const {
    const RECT window = GetWindowRect();
    const int h = window.bottom - window.top;
    auto S = [this](int pixelsAt96) { return Scale(pixelsAt96); };
    return PaintLayout{RECT{S(90), h - S(57), S(200), h - S(30)},
                       RECT{S(50), h - S(80), S(600), h - S(60)},
                       RECT{S(10), S(10), S(10) + S(76), S(10) + S(76)},
                       RECT{S(90), S(10), S(90) + S(635), S(10) + S(65)},
                       S(17),
                       S(65),
                       S(15)};
}

// ---------------------------------------------------------------- pages

void CWizardView::SwitchPage(int page) {
    if (page == PAGE_REPAIRING || page == PAGE_SAVING) {
        const CListCtrl& list = page == PAGE_REPAIRING ? m_listFiles : m_listRepaired;
        if (list.GetItemCount() == 0) {
            Tell(page == PAGE_REPAIRING ? kAddFilesFirst : kSavedListEmpty);
            return;
        }
        if (!AnyRowChecked(list)) {
            Tell(kSelectFiles);
            return;
        }
    }
    HideAllControls();
    switch (page) {
        case PAGE_FILES:
            m_listFiles.ShowWindow(SW_SHOWNORMAL);
            m_btnNext.ShowWindow(SW_SHOWNORMAL);
            m_chkSelectAll.ShowWindow(SW_SHOWNORMAL);
            break;
        case PAGE_REPAIRING:
            m_listRepaired.ShowWindow(SW_SHOWNORMAL);
            m_progress.ShowWindow(SW_SHOWNORMAL);
            StartRepair();
            break;
        case PAGE_REPAIRED:
            m_listRepaired.ShowWindow(SW_SHOWNORMAL);
            m_btnNext.ShowWindow(SW_SHOWNORMAL);
            m_btnPrevious.ShowWindow(SW_SHOWNORMAL);
            m_chkSelectAll.ShowWindow(SW_SHOWNORMAL);
            break;
        case PAGE_SAVING:
            m_listSaved.ShowWindow(SW_SHOWNORMAL);
            m_progress.ShowWindow(SW_SHOWNORMAL);
            StartSave();
            break;
        case PAGE_SAVED:
            m_listSaved.ShowWindow(SW_SHOWNORMAL);
            m_btnPrevious.ShowWindow(SW_SHOWNORMAL);
            m_btnFinished.ShowWindow(SW_SHOWNORMAL);
            break;
        default:
            break;
    }
    // After the worker has started, before any of its events is handled: they are handled on
    // this thread.
    m_nPage = page;
    RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CWizardView::OnWizardButton(UINT id) {
    const bool selectAll = m_chkSelectAll.GetCheck() == BST_CHECKED;  // already toggled
    switch (id) {
        case IDC_NEXT:
            if (m_nPage == PAGE_FILES) {
                SwitchPage(PAGE_REPAIRING);
            } else if (m_nPage == PAGE_REPAIRED) {
                SwitchPage(PAGE_SAVING);
            }
            break;
        case IDC_PREVIOUS:
            if (m_nPage == PAGE_REPAIRED) {
                SwitchPage(PAGE_FILES);
            } else if (m_nPage == PAGE_SAVED) {
                SwitchPage(PAGE_REPAIRED);
            }
            break;
        case IDC_FINISHED:
            m_listFiles.DeleteAllItems();
            SwitchPage(PAGE_FILES);
            break;
        case IDC_SELECT_ALL: {
            CListCtrl* list = m_nPage == PAGE_FILES      ? &m_listFiles
                              : m_nPage == PAGE_REPAIRED ? &m_listRepaired
                                                         : nullptr;
            if (!list) break;
            if (list->GetItemCount() == 0) {
                m_chkSelectAll.SetCheck(BST_UNCHECKED);
            } else {
                SetAllChecks(*list, selectAll);
            }
            break;
        }
        default:
            break;
    }
}

void CWizardView::HideAllControls() {
    for (CWnd* control :
         std::initializer_list<CWnd*>{&m_listFiles, &m_listRepaired, &m_listSaved, &m_chkSelectAll,
                                      &m_btnNext, &m_btnPrevious, &m_btnFinished, &m_progress}) {
        control->ShowWindow(SW_HIDE);
    }
}

bool CWizardView::AnyRowChecked(const CListCtrl& list) const {
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.GetCheck(row)) return true;
    }
    return false;
}

void CWizardView::SetAllChecks(CListCtrl& list, bool checked) {
    for (int row = 0; row < list.GetItemCount(); ++row) list.SetCheck(row, checked);
}

// ---------------------------------------------------------------- commands

void CWizardView::OnAddFile() {
    if (!RefuseAdding()) AddFiles(m_dialogs.ShowOpenDialog());
}

void CWizardView::OnDropFiles(const std::vector<std::string>& paths) {
    if (!RefuseAdding()) AddFiles(paths);
}

bool CWizardView::RefuseAdding() {
    switch (m_nPage) {
        case PAGE_FILES:
            return false;
        case PAGE_REPAIRED:
            Warn("File(s) can not be added to repaired file(s) list");
            return true;
        case PAGE_SAVED:
            Warn("File(s) can not be  added to Saved file(s) list ");
            return true;
        default:
            return true;  // a run is in progress: nothing, not even a message
    }
}

bool CWizardView::IsAlreadyListed(const std::string& path) const {
    for (int row = 0; row < m_listFiles.GetItemCount(); ++row) {
        if (m_listFiles.GetItemText(row, 1) == path) return true;
    }
    return false;
}

void CWizardView::AddFiles(const std::vector<std::string>& paths) {
    const FileSystem files;
    for (const std::string& path : paths) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::string error;
        auto file = files.OpenForReading(path, &error);
        if (!file) return;  // this one and the rest are not added, without a word
        const std::string fullPath = FullPathOf(path);
        const std::string size = std::to_string(file->Length()) + "  bytes";
        const std::string created = FormatCreationDate(file->CreationTime());
        file.reset();
        if (IsAlreadyListed(fullPath)) {
            ShowMessageBox(m_hWnd, kAlreadyAdded, kCaption, MB_ICONINFORMATION | MB_SETFOREGROUND);
            continue;
        }
        const int row = m_listFiles.InsertItem(LVIF_TEXT | LVIF_IMAGE, 0, "", 3);
        m_listFiles.SetItemText(row, 0, FileNameOf(fullPath));
        m_listFiles.SetItemText(row, 1, fullPath);
        m_listFiles.SetItemText(row, 2, size);
        m_listFiles.SetItemText(row, 3, created);
        m_listFiles.SetCheck(row, true);
    }
}

void CWizardView::OnRemoveSelected() {
    switch (m_nPage) {
        case PAGE_FILES:
            if (m_listFiles.GetItemCount() == 0) {
                Warn("No file(s) in the list to remove");
            } else if (!AnyRowChecked(m_listFiles)) {
                Warn("Please select a file to remove");
            } else if (ShowMessageBox(m_hWnd,
                                      "Do you want to remove the selected\nfiles from the list",
                                      kCaption, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
                for (int row = m_listFiles.GetItemCount() - 1; row >= 0; --row) {
                    if (m_listFiles.GetCheck(row)) m_listFiles.DeleteItem(row);
                }
            }
            break;
        case PAGE_REPAIRED:
            Warn("File(s) can not be  removed from repaired file(s) list ");
            break;
        case PAGE_SAVED:
            Warn("File(s) can not be  removed from Saved file(s) list ");
            break;
        default:
            break;
    }
}

void CWizardView::OnRemoveAll() {
    if (m_nPage != PAGE_FILES) {
        Warn(kCannotDelete);
    } else if (m_listFiles.GetItemCount() == 0) {
        Warn("There is no files in the list to delete");
    } else {
        m_listFiles.DeleteAllItems();
    }
}

void CWizardView::OnRepairFile() {
    switch (m_nPage) {
        case PAGE_FILES:
            SwitchPage(PAGE_REPAIRING);
            break;
        case PAGE_REPAIRED:
            Warn(
                "Please save the repaired file\nor press previous button to add \nmore files and "
                "the press repair");
            break;
        case PAGE_SAVED:
            Warn(kPressFinish);
            break;
        default:
            Warn(kRunInProgress);
            break;
    }
}

void CWizardView::OnSaveFile() {
    // As Next does on the repaired page; elsewhere refused like Repair File.
    switch (m_nPage) {
        case PAGE_REPAIRED:
            SwitchPage(PAGE_SAVING);
            break;
        case PAGE_FILES:
            Warn(kRepairBeforeSaving);
            break;
        case PAGE_SAVED:
            Warn(kPressFinish);
            break;
        default:
            Warn(kRunInProgress);
            break;
    }
}

void CWizardView::OnSettings() {
    // Every page, also during a run: a run keeps the copies it took when it started.
    if (auto edited = m_dialogs.EditSettings({m_strSuffix, m_strSaveFolder})) {
        m_strSuffix = edited->suffix;
        m_strSaveFolder = edited->save_folder;
        m_bSettingsEdited = true;
    }
}

// ---------------------------------------------------------------- runs

void CWizardView::StartRepair() {
    BuildRepairQueue();
    PrepareProgress(m_listRepaired.GetItemCount());
    StartWorker(WM_REPAIR_PROGRESS, [this](PanelRunHost& host) {
        RepairWorker(RepairJob{&m_repairQueue, &host, m_files.get(), m_runPacing});
    });
}

void CWizardView::BuildRepairQueue() {
    CopyCheckedRows(m_listFiles, nullptr, m_listRepaired, m_repairQueue);
}

void CWizardView::StartSave() {
    BuildSaveQueue();
    m_nSavedInRun = 0;
    PrepareProgress(m_listSaved.GetItemCount());
    // The run keeps its own copies of the settings.
    StartWorker(WM_SAVE_PROGRESS, [this, suffix = m_strSuffix,
                                   folder = m_strSaveFolder](PanelRunHost& host) {
        SaveWorker(SaveJob{&m_saveQueue, &host, m_files.get(), suffix, folder, m_runPacing});
    });
}

void CWizardView::BuildSaveQueue() {
    CopyCheckedRows(m_listRepaired, &m_repairQueue, m_listSaved, m_saveQueue);
}

void CWizardView::CopyCheckedRows(const CListCtrl& from,
                                  const std::vector<std::string>* from_entries, CListCtrl& to,
                                  std::vector<std::string>& queue) {
    queue.clear();
    to.DeleteAllItems();
    const int rows = from.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        if (!from.GetCheck(row)) continue;
        const int at = to.InsertItem(LVIF_TEXT | LVIF_IMAGE, to.GetItemCount(), "", 3);
        for (int column = 0; column < 3; ++column) {
            to.SetItemText(at, column, from.GetItemText(row, column));
        }
        const auto index = static_cast<std::size_t>(row);
        queue.push_back(from_entries ? (index < from_entries->size() ? (*from_entries)[index]
                                                                     : std::string(kFailMarker))
                                     : from.GetItemText(row, 1));
    }
}

void CWizardView::PrepareProgress(int items) {
    // A 32-bit range: more than 16,383 items would wrap a 16-bit one. Every run starts empty.
    m_progress.SetRange32(0, 2 * items);
    m_progress.SetStep(1);
    m_progress.SetPos(0);
}

void CWizardView::StartWorker(UINT message, std::function<void(PanelRunHost&)> work) {
    JoinWorker();  // the last run's thread delivered its final event long ago
    m_runHost = std::make_unique<PanelRunHost>(m_hWnd, message, m_dialogs);
    m_bRunInProgress = true;
    m_bWorkerDone = false;
    m_worker = std::thread([this, host = m_runHost.get(), work = std::move(work)] {
        try {
            work(*host);
        } catch (...) {
            // The runs throw nothing; should one ever, the panel must still leave its busy page.
        }
        if (!host->RunOverReported()) host->ReportProgress(ProgressCode::kRunOver, 0);
        m_bWorkerDone = true;
    });
}

void CWizardView::JoinWorker() {
    if (!m_worker.joinable()) return;
    // The worker may be waiting on a message to this window: keep handling those.
    PumpSentMessagesUntil([this] { return m_bWorkerDone.load(); });
    m_worker.join();
    m_runHost.reset();
}

bool CWizardView::CanClose() {
    if (!m_bRunInProgress) return true;
    ShowMessageBox(m_hWnd, kRunInProgress, kCaption, MB_ICONWARNING);
    return false;
}

// The words one stage of the wizard shows for its items.
struct StageWords {
    ProgressCode begins;
    const char* working;      // Status cell while the item is worked on
    const char* succeeded;    // ... when it succeeded
    const char* status_line;  // the status line's text before the item's File Location
};

namespace {

constexpr StageWords kRepairWords{ProgressCode::kRepairBegins, "Repairing", "Repaired",
                                  "Reparing....    "};
constexpr StageWords kSaveWords{ProgressCode::kSaveBegins, "Saving", "Saved", "Saving....    "};

}  // namespace

void CWizardView::OnRepairProgress(int code, int index) {
    if (static_cast<ProgressCode>(code) != ProgressCode::kRunOver) {
        ShowItemProgress(m_listRepaired, kRepairWords, code, index);
        return;
    }
    SetAllChecks(m_listRepaired, true);
    DrawStatusText(kFinishedRepairing + std::string(kFinishedRepairingBlanks, ' '));
    ShowMessageBox(m_hWnd, kCompleted, kCaption, MB_ICONEXCLAMATION);
    SwitchPage(PAGE_REPAIRED);
    OnRunOver();
}

void CWizardView::OnSaveProgress(int code, int index) {
    if (static_cast<ProgressCode>(code) != ProgressCode::kRunOver) {
        if (static_cast<ProgressCode>(code) == ProgressCode::kItemSucceeded) ++m_nSavedInRun;
        ShowItemProgress(m_listSaved, kSaveWords, code, index);
        return;
    }
    DrawStatusText(kFinishedSaving + std::string(kFinishedSavingBlanks, ' '));
    // "The Files have been saved in" is only said when one was: each failure has had its box.
    if (m_nSavedInRun > 0 && m_dialogs.ShowFileSaved(m_strSaveFolder)) {
        ShellOpen(nullptr, "open", m_strSaveFolder, SW_SHOW);
    }
    SwitchPage(PAGE_SAVED);
    OnRunOver();
}

void CWizardView::ShowItemProgress(CListCtrl& list, const StageWords& words, int code, int index) {
    const auto step = static_cast<ProgressCode>(code);
    if (step == words.begins) {
        list.SetItemText(index, 3, words.working);
        DrawStatusText(words.status_line + list.GetItemText(index, 1));
    } else if (step == ProgressCode::kItemFailed) {
        list.SetItemText(index, 3, "Failed");
    } else if (step == ProgressCode::kItemSucceeded) {
        list.SetItemText(index, 3, words.succeeded);
    } else {
        return;  // the other stage's "begins", or no code at all
    }
    m_progress.StepIt();
}

void CWizardView::OnRunOver() {
    // The worker is still inside its final send: it is joined at the next run or at the end.
    m_bRunInProgress = false;
}

// ---------------------------------------------------------------- painting

void CWizardView::OnEraseBkgnd(CDC& dc) {
    GradientBackground(dc, *this);
}

void CWizardView::OnPaint() {
    CPaintDC dc(m_hWnd);
    const PaintLayout layout = GetPaintLayout();
    dc.SetTextColor(kTextColour);
    dc.SetBkColor(kTextBackground);
    {
        CFont font;
        CreateSkinFont(font, layout.text_height, kTextFace);
        CSelect selected(dc, font);
        if (m_chkSelectAll.IsWindowVisible()) {
            dc.DrawText("Select All ", layout.select_all, DT_LEFT | DT_TOP);
        }
        if (const char* instruction = InstructionOf(m_nPage)) {
            dc.DrawText(instruction, layout.instruction, DT_LEFT | DT_TOP);
        }
    }
    CDC memory;
    memory.CreateCompatibleDC(&dc);
    {
        CBitmap logo;
        LoadArtwork(logo, IDB_LOGO, GetDpi());
        CSelect selected(memory, logo);
        dc.BitBlt(layout.logo.left, layout.logo.top, layout.logo.right - layout.logo.left,
                  layout.logo.bottom - layout.logo.top, memory, 0, 0, SRCCOPY);
    }
    const int width = layout.title.right - layout.title.left;
    const int height = layout.title.bottom - layout.title.top;
    CFont titleFont;
    CreateSkinFont(titleFont, layout.title_height, kTitleFace);
    CBitmap title;
    title.CreateCompatibleBitmap(dc, width, height);
    CSelect bitmapSelected(memory, title);
    CSelect fontSelected(memory, titleFont);
    // White where there is no text: MERGEPAINT then leaves the panel as it is there. Only the
    // bitmap's rows are combined; below them there is nothing to combine.
    memory.FillSolidRect(0, 0, width, height, RGB(255, 255, 255));
    memory.SetTextColor(kTitleColour);
    memory.DrawText("Velmora Deckwright", RECT{0, 0, width, height}, DT_LEFT | DT_TOP);
    dc.BitBlt(layout.title.left, layout.title.top, width, height, memory, 0, 0, MERGEPAINT);
}

void CWizardView::DrawStatusText(const std::string& text) {
    CClientDC dc(m_hWnd);
    dc.SetTextColor(kTextColour);
    dc.SetBkColor(kTextBackground);
    CFont font;
    CreateSkinFont(font, GetPaintLayout().status_height, kTextFace);
    CSelect selected(dc, font);
    dc.DrawText(text, m_rcStatus, DT_LEFT | DT_TOP);
}

void CWizardView::Warn(const std::string& text) {
    ShowMessageBox(m_hWnd, text, kCaption, MB_OK | MB_ICONEXCLAMATION);
}

void CWizardView::Tell(const std::string& text) {
    ShowMessageBox(m_hWnd, text, kCaption, MB_OK);
}

}  // namespace deckwright
