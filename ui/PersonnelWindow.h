#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "personnel/PersonnelCommands.h"
#include "terminal/DeviceConnection.h"
#include "ui/CommandRunner.h"
#include "ui/PersonnelCommandRows.h"
#include "ui/TerminalDialog.h"

class QGroupBox;
class QPushButton;

namespace miravel {

class PacedProgressBar;
class PersonnelStore;
class PersonnelView;
class PersonnelViewList;

// The "Personel" window: the users of one terminal (left, "Cihazdaki
// Kayıtlar") beside the personnel store on this computer (right,
// "Bilgisayardaki Kayıtlar"), with the commands that copy personal data and
// fingerprints either way, delete and select. Created once at start and shown
// modally by the settings window, which hands over the terminal first.
//
// One showing: connect when shown ("Bağlantı Kurulamadı" and the window
// closes when the terminal does not answer), load both lists when the window
// first becomes active, then run the commands one at a time on that
// connection. Later activations (a message box closing) load nothing again.
// Every way of closing ("Çıkış", the title bar, Escape) leaves the same way:
// the detail file released, the terminal disconnected, both lists emptied.
//
// Controls carry object names by which tests find them: terminalGrid,
// storeGrid, sendPersonalButton, takePersonalButton, sendFingerprintsButton,
// takeFingerprintsButton, deleteButton, terminalTickAllButton,
// terminalClearTicksButton, terminalInvertTicksButton, storeTickAllButton,
// storeClearTicksButton, storeInvertTicksButton, progressGroup and
// progressBar (the progress of a long command), stopButton ("Durdur", in
// the progress group) and exitButton.
//
// The commands run beside the window (CommandRunner::RunBeside) on copies of
// the two lists (PersonnelCommandRows), which the lists take back when the
// command ends, however it ends: the window paints, scrolls and answers
// meanwhile, and the lists show what the command left.
class PersonnelWindow : public TerminalDialog, private PersonnelFeedback {
  Q_OBJECT

 public:
  PersonnelWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                  QWidget* parent = nullptr);
  ~PersonnelWindow() override;

  // The terminal to work on (PersonnelTargetOf the selected device), handed over by the
  // settings window before it shows this window; connect it with
  // kPersonnelConnection.
  void SetTarget(const ConnectionTarget& target) { target_ = target; }
  const ConnectionTarget& Target() const { return target_; }

  bool IsConnected() const { return terminal_.connected; }

  // Every way of closing the window ends here and leaves as "Çıkış" does.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  // A close by the user during a command asks whether to stop it.
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void BuildControls();

  // When the window is shown: connects; a terminal that does not answer
  // closes the window.
  void ConnectToTerminal();
  // When the window first becomes active in a showing.
  void LoadOnce();
  // "Çıkış" and every other way out.
  void Leave();

  // The two "Al", the two "Gönder" and "Sil".
  void CopyPersonalToStore();
  void SendPersonalToTerminal();
  void CopyFingerprintsToStore();
  void SendFingerprintsToTerminal();
  void DeleteTicked();
  // An edited cell of the store list is saved at once.
  void SaveEditedStoreCell(int row, int column);
  // The six selection buttons.
  template <class Change>
  void ChangeTicks(PersonnelViewList& list, Change change);

  // A command on the lists of this showing; nothing before the window is shown.
  template <class Body>
  void RunOnLists(Body&& body);

  // PersonnelFeedback, told from the command's thread: the progress is
  // posted to the window's thread, the closing words kept until the command
  // has ended and the lists show what it left.
  void Post(std::function<void()> call);
  void HideProgressGroup();
  void ShowProgress(const std::string& caption) override;
  void SetProgress(int percent) override;
  void HideProgress() override;
  void ShowMessage(const std::string& text) override;

  CommandRunner runner_{ui_, *this};
  ConnectionTarget target_;
  PersonnelTerminal terminal_;
  // Made for each showing: the store opens its detail file while loading
  // and keeps it until the window is left.
  std::unique_ptr<PersonnelStore> store_;
  std::unique_ptr<PersonnelCommands> commands_;
  // Whether this showing has loaded (or tried to load) the lists.
  bool loadStarted_ = false;

  PersonnelView* terminalGrid_ = nullptr;
  PersonnelView* storeGrid_ = nullptr;
  std::unique_ptr<PersonnelViewList> terminalList_;
  std::unique_ptr<PersonnelViewList> storeList_;
  PersonnelCommandRows terminalRows_{false};
  PersonnelCommandRows storeRows_{true};
  std::vector<std::string> messages_;
  QPushButton* sendPersonalButton_ = nullptr;
  QPushButton* takePersonalButton_ = nullptr;
  QPushButton* sendFingerprintsButton_ = nullptr;
  QPushButton* takeFingerprintsButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QGroupBox* progressGroup_ = nullptr;
  PacedProgressBar* progressBar_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
};

}  // namespace miravel
