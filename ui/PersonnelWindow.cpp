#include "ui/PersonnelWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QTimer>

#include "personnel/PersonnelStore.h"
#include "ui/CommandGuard.h"
#include "ui/PacedProgressBar.h"
#include "ui/PersonnelModel.h"
#include "ui/PersonnelView.h"
#include "ui/PersonnelViewList.h"
#include "ui/Pictures.h"
#include "ui/UiServices.h"
#include "ui/WindowControls.h"

namespace miravel {
namespace {

constexpr int kClientWidth = 1068;
constexpr int kClientHeight = 580;
constexpr int kGridWidth = 456;
constexpr int kGridTop = 32;
constexpr int kGridHeight = 440;
constexpr int kMiddleLeft = 10 + kGridWidth + 8;
constexpr int kMiddleWidth = 120;
constexpr int kStoreGridLeft = kMiddleLeft + kMiddleWidth + 8;

PersonnelView* PersonnelGrid(QWidget* parent, const QString& name, const QString& caption, int left,
                             PersonnelModel::Side side) {
  auto* persons = new PersonnelModel(side, parent);
  auto* grid = new PersonnelView(*persons, parent);
  grid->setObjectName(name);
  grid->setAccessibleName(caption);
  grid->setGeometry(left, kGridTop, kGridWidth, kGridHeight);
  if (side == PersonnelModel::Side::kStore) grid->SetImageList(FingerprintImages());

  auto* heading = new QLabel(caption, parent);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  heading->setGeometry(left + 2, 8, kGridWidth - 4, 20);
  return grid;
}

// A panel between the lists: a caption on two lines, optional small notes and
// a "Gönder" and an "Al" button. Its accessible name tells the two "Gönder"
// buttons apart.
QWidget* CopyPanel(QWidget* parent, const QString& first, const QString& second,
                   const QStringList& notes, int top, QPushButton*& sendButton,
                   const QString& sendName, QPushButton*& takeButton, const QString& takeName) {
  auto* panel = new QGroupBox(parent);
  panel->setAccessibleName(first + QLatin1Char(' ') + second);
  int y = 8;
  for (const QString& line : {first, second}) {
    auto* label = new QLabel(line, panel);
    QFont bold = label->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    label->setFont(bold);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(4, y, kMiddleWidth - 8, 20);
    y += 20;
  }
  for (const QString& line : notes) {
    auto* label = new QLabel(line, panel);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    label->setFont(small);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(4, y, kMiddleWidth - 8, 15);
    y += 15;
  }
  y += 8;
  // "Gönder" sends to the terminal on the left, "Al" takes from it.
  sendButton = GlyphButton(panel, QStringLiteral("Gönder"), LeftArrowGlyph(), sendName,
                           QRect(10, y, kMiddleWidth - 20, 32));
  takeButton = GlyphButton(panel, QStringLiteral("Al"), RightArrowGlyph(), takeName,
                           QRect(10, y + 38, kMiddleWidth - 20, 32));
  takeButton->setLayoutDirection(Qt::RightToLeft);  // the arrow after the text
  panel->setGeometry(kMiddleLeft, top, kMiddleWidth, y + 80);
  return panel;
}

// "Tümünü Seç", "Seçimi kaldır", "Diğerlerini Seç" under one list.
void SelectionButtons(QWidget* parent, int left, const QString& list, const QString& prefix,
                      QPushButton* (&buttons)[3]) {
  auto* row = new QWidget(parent);
  row->setAccessibleName(list);
  row->setGeometry(left, kGridTop + kGridHeight + 6, kGridWidth, 30);
  const QString captions[] = {QStringLiteral("Tümünü Seç"), QStringLiteral("Seçimi kaldır"),
                              QStringLiteral("Diğerlerini Seç")};
  const QString names[] = {QStringLiteral("TickAllButton"), QStringLiteral("ClearTicksButton"),
                           QStringLiteral("InvertTicksButton")};
  const int width = (kGridWidth - 2 * 6) / 3;
  for (int i = 0; i < 3; ++i) {
    auto* button = new QPushButton(captions[i], row);
    button->setObjectName(prefix + names[i]);
    button->setAutoDefault(false);
    button->setGeometry(i * (width + 6), 0, width, 30);
    buttons[i] = button;
  }
}

}  // namespace

PersonnelWindow::PersonnelWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                                 QWidget* parent)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Personel"),
                     QSize(kClientWidth, kClientHeight), parent),
      terminal_{terminal} {
  setObjectName("personnelWindow");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  BuildControls();
  CommandGuard::LetCloseThroughDuringCommands(this);
}

PersonnelWindow::~PersonnelWindow() {
  // The program ending with the window open leaves no connection behind.
  if (commands_) {
    try {
      commands_->Leave();
    } catch (...) {  // nobody is left to tell
    }
  }
}

void PersonnelWindow::BuildControls() {
  // The terminal's users on the left, the store on this computer on the right.
  terminalGrid_ =
      PersonnelGrid(this, QStringLiteral("terminalGrid"), QStringLiteral("Cihazdaki Kayıtlar"), 10,
                    PersonnelModel::Side::kTerminal);
  storeGrid_ =
      PersonnelGrid(this, QStringLiteral("storeGrid"), QStringLiteral("Bilgisayardaki Kayıtlar"),
                    kStoreGridLeft, PersonnelModel::Side::kStore);
  terminalList_ = std::make_unique<PersonnelViewList>(*terminalGrid_);
  storeList_ = std::make_unique<PersonnelViewList>(*storeGrid_);

  CopyPanel(this, QStringLiteral("Personel"), QStringLiteral("Bilgileri"),
            {QStringLiteral("(İsim, Kartno "), QStringLiteral("Yetki Durumu)")}, 70,
            sendPersonalButton_, QStringLiteral("sendPersonalButton"), takePersonalButton_,
            QStringLiteral("takePersonalButton"));
  CopyPanel(this, QStringLiteral("Parmak İzi"), QStringLiteral("Kayıtları"), {}, 276,
            sendFingerprintsButton_, QStringLiteral("sendFingerprintsButton"),
            takeFingerprintsButton_, QStringLiteral("takeFingerprintsButton"));
  deleteButton_ =
      GlyphButton(this, QStringLiteral("Sil"), DeleteGlyph(), QStringLiteral("deleteButton"),
                  QRect(kMiddleLeft + 10, 428, kMiddleWidth - 20, 36));

  QPushButton* terminalButtons[3];
  QPushButton* storeButtons[3];
  SelectionButtons(this, 10, QStringLiteral("Cihazdaki Kayıtlar"), QStringLiteral("terminal"),
                   terminalButtons);
  SelectionButtons(this, kStoreGridLeft, QStringLiteral("Bilgisayardaki Kayıtlar"),
                   QStringLiteral("store"), storeButtons);

  // The progress of a long command, shown only while one runs.
  progressGroup_ = Group(this, QStringLiteral("Cihazdaki personeller yükleniyor"),
                         QRect(10, 516, kClientWidth - 150, 56));
  progressGroup_->setObjectName("progressGroup");
  progressBar_ = new PacedProgressBar(progressGroup_);
  progressBar_->setObjectName("progressBar");
  progressBar_->setRange(0, 100);
  progressBar_->setGeometry(10, 24, kClientWidth - 280, 22);
  // Stops the load or copy that shows its progress here.
  stopButton_ = new QPushButton(QStringLiteral("Durdur"), progressGroup_);
  stopButton_->setObjectName("stopButton");
  stopButton_->setAutoDefault(false);
  stopButton_->setGeometry(kClientWidth - 260, 20, 100, 30);
  runner_.SetStopControl(stopButton_);
  progressGroup_->hide();

  exitButton_ = GlyphButton(this, QStringLiteral("Çıkış"), ExitGlyph(),
                            QStringLiteral("exitButton"), QRect(kClientWidth - 120, 528, 110, 36));

  connect(sendPersonalButton_, &QPushButton::clicked, this,
          &PersonnelWindow::SendPersonalToTerminal);
  connect(takePersonalButton_, &QPushButton::clicked, this, &PersonnelWindow::CopyPersonalToStore);
  connect(sendFingerprintsButton_, &QPushButton::clicked, this,
          &PersonnelWindow::SendFingerprintsToTerminal);
  connect(takeFingerprintsButton_, &QPushButton::clicked, this,
          &PersonnelWindow::CopyFingerprintsToStore);
  connect(deleteButton_, &QPushButton::clicked, this, &PersonnelWindow::DeleteTicked);
  connect(exitButton_, &QPushButton::clicked, this, &PersonnelWindow::reject);

  const auto tickButtons = [this](QPushButton*(&buttons)[3], PersonnelViewList& list) {
    connect(buttons[0], &QPushButton::clicked, this, [this, &list] { ChangeTicks(list, TickAll); });
    connect(buttons[1], &QPushButton::clicked, this,
            [this, &list] { ChangeTicks(list, ClearTicks); });
    connect(buttons[2], &QPushButton::clicked, this,
            [this, &list] { ChangeTicks(list, InvertTicks); });
  };
  tickButtons(terminalButtons, *terminalList_);
  tickButtons(storeButtons, *storeList_);

  connect(storeGrid_, &PersonnelView::CellEdited, this, &PersonnelWindow::SaveEditedStoreCell);
}

template <class Body>
void PersonnelWindow::RunOnLists(Body&& body) {
  if (!commands_) return;
  messages_.clear();
  const bool ran = runner_.Run([this, &body] {
    terminalList_->CopyTo(terminalRows_);
    storeList_->CopyTo(storeRows_);
    // However the command ends (an error, a stop), the lists show what it left.
    const auto giveBack = qScopeGuard([this] {
      terminalList_->TakeRows(terminalRows_);
      storeList_->TakeRows(storeRows_);
      HideProgressGroup();
    });
    runner_.RunBeside([this, &body](const StopRequest&) { body(*commands_); });
  });
  // Over the lists as they now stand.
  if (ran) {
    for (const std::string& text : messages_) ui_.ShowMessage(this, Q(text));
  }
  messages_.clear();
}

void PersonnelWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The program's own show, not a restore from the task bar.
  if (event->spontaneous()) return;
  ConnectToTerminal();
}

void PersonnelWindow::ConnectToTerminal() {
  loadStarted_ = false;
  store_ = std::make_unique<PersonnelStore>(state_.programFolder);
  commands_ = std::make_unique<PersonnelCommands>(terminal_, *store_, terminalRows_, storeRows_,
                                                  static_cast<PersonnelFeedback&>(*this));
  commands_->SetStoreWaitLimit(kWindowStoreLockWaitLimit);
  commands_->SetStopRequest(&runner_.Stop());
  bool connected = false;
  // A terminal that is off costs its whole time-out: the window paints meanwhile.
  const bool ran = runner_.Run([&] {
    runner_.RunBeside([&](const StopRequest&) { connected = commands_->Connect(target_); });
  });
  HideProgressGroup();
  if (connected) {
    // A window that was active already when shown gets no activation to load on.
    QTimer::singleShot(0, this, [this] {
      if (isActiveWindow()) LoadOnce();
    });
    return;
  }
  // Closed once the dialog's own loop runs: a dialog closed while it is
  // still being shown would leave its loop running with nothing to end it.
  // A link error was shown already; a terminal that did not answer is told
  // once, here.
  QTimer::singleShot(0, this, [this, ran] {
    if (!isVisible()) return;
    if (ran) ui_.ShowMessage(this, QStringLiteral("Bağlantı Kurulamadı"));
    reject();
  });
}

bool PersonnelWindow::event(QEvent* event) {
  const bool handled = TerminalDialog::event(event);
  if (event->type() == QEvent::WindowActivate) LoadOnce();
  return handled;
}

void PersonnelWindow::LoadOnce() {
  // The first activation of a showing loads the lists. Later
  // ones (a message box closing) leave the lists as the user sees them, and
  // a load that failed is not tried again behind its error box.
  // While the connection is being made, the command that makes it loads
  // once it has ended.
  if (CommandRunner::IsRunning() || loadStarted_ || !terminal_.connected || !isVisible()) return;
  loadStarted_ = true;
  RunOnLists([](PersonnelCommands& commands) { commands.LoadLists(); });
}

void PersonnelWindow::closeEvent(QCloseEvent* event) {
  if (runner_.AskToStopBeforeClose([this] { close(); })) {
    event->ignore();
    return;
  }
  TerminalDialog::closeEvent(event);
}

void PersonnelWindow::done(int result) {
  // A close the program asks for while a command runs (the user's are
  // dropped) happens once the command has let go of the store.
  if (runner_.DeferClose([this, result] { done(result); })) return;
  // A cell still being typed into is saved before the store is let go.
  storeGrid_->FinishEditing();
  Leave();
  QDialog::done(result);
}

void PersonnelWindow::Leave() {
  // Emptied first, so that the command leaving them gets no copy of the
  // lists while the store's file is still held: that would be the window's
  // highest use of memory.
  if (commands_ && !runner_.IsRunning()) {
    terminalList_->RemoveAllRows();
    storeList_->RemoveAllRows();
  }
  RunOnLists([](PersonnelCommands& commands) { commands.Leave(); });
  commands_.reset();
  store_.reset();
  loadStarted_ = false;
}

void PersonnelWindow::CopyPersonalToStore() {
  RunOnLists([](PersonnelCommands& commands) { commands.CopyPersonalToStore(); });
}

void PersonnelWindow::SendPersonalToTerminal() {
  RunOnLists([](PersonnelCommands& commands) { commands.SendPersonalToTerminal(); });
}

void PersonnelWindow::CopyFingerprintsToStore() {
  RunOnLists([](PersonnelCommands& commands) { commands.CopyTemplatesToStore(); });
}

void PersonnelWindow::SendFingerprintsToTerminal() {
  RunOnLists([](PersonnelCommands& commands) { commands.SendTemplatesToTerminal(); });
}

void PersonnelWindow::DeleteTicked() {
  RunOnLists([](PersonnelCommands& commands) { commands.DeleteTicked(); });
}

void PersonnelWindow::SaveEditedStoreCell(int row, int column) {
  RunOnLists([row, column](PersonnelCommands& commands) { commands.SaveStoreEdit(row, column); });
}

template <class Change>
void PersonnelWindow::ChangeTicks(PersonnelViewList& list, Change change) {
  runner_.Run([&list, change] {
    // The view hears of the new ticks once, not once per row.
    NotificationHold hold(list.Persons());
    change(list);
  });
}

void PersonnelWindow::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void PersonnelWindow::ShowProgress(const std::string& caption) {
  Post([this, caption] {
    progressGroup_->setTitle(Q(caption));
    progressBar_->SetValuePaced(0);
    progressGroup_->show();
  });
}

void PersonnelWindow::SetProgress(int percent) {
  Post([this, percent] { progressBar_->SetValuePaced(percent); });
}

void PersonnelWindow::HideProgress() {
  Post([this] { HideProgressGroup(); });
}

void PersonnelWindow::HideProgressGroup() {
  progressGroup_->hide();
}

void PersonnelWindow::ShowMessage(const std::string& text) {
  messages_.push_back(text);
}

}  // namespace miravel
