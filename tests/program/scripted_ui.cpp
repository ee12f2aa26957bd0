#include "scripted_ui.h"

#include <gtest/gtest.h>

#include "core/ids.h"


namespace {
std::string TextOf(const char* text) { return text ? text : "<none>"; }
}  // namespace

PosixUiDriver ScriptedUi::Driver() {
  return PosixUiDriver{&OnMessageBox, &OnDialogInput, this, &OnWhileBusy, &OnProgress};
}

void ScriptedUi::WhileFilesAreWritten(std::function<void(PlatWindow)> action) {
  whileWritten_ = std::move(action);
}

void ScriptedUi::OnWhileBusy(void* ctx, PlatWindow dialog) {
  auto* ui = static_cast<ScriptedUi*>(ctx);
  if (ui->whileWritten_) ui->whileWritten_(dialog);
}

void ScriptedUi::OnProgress(void* ctx, int permille) {
  static_cast<ScriptedUi*>(ctx)->progress_.push_back(permille);
}

void ScriptedUi::Press(int controlId) {
  presses_.push_back([controlId] { return controlId; });
}
void ScriptedUi::Press(Action action) { presses_.push_back(std::move(action)); }
void ScriptedUi::Answer(int button) {
  answers_.push_back([button] { return button; });
}
void ScriptedUi::Answer(Action action) { answers_.push_back(std::move(action)); }
void ScriptedUi::DuringNextErrorBox(std::function<void(PlatWindow)> action) {
  duringErrorBox_ = std::move(action);
}

PlatAnswer ScriptedUi::OnMessageBox(void* ctx, PlatWindow owner,
                                    const char* text, const char* caption,
                                    PlatButtons buttons, PlatIcon icon) {
  auto* ui = static_cast<ScriptedUi*>(ctx);
  ui->boxes_.push_back({TextOf(text), TextOf(caption), owner, buttons, icon,
                        PosixCurrentCursor()});
  if (buttons == kPlatButtonsOk) {
    if (ui->duringErrorBox_) {
      auto action = std::move(ui->duringErrorBox_);
      ui->duringErrorBox_ = nullptr;
      action(owner);
    }
    return kPlatIdOk;
  }
  if (ui->answers_.empty()) {
    ADD_FAILURE() << "unexpected box: " << text;
    return kPlatIdCancel;
  }
  Action next = std::move(ui->answers_.front());
  ui->answers_.pop_front();
  return next() == kPlatIdOk ? kPlatIdOk : kPlatIdCancel;
}

int ScriptedUi::OnDialogInput(void* ctx, PlatWindow dialog) {
  auto* ui = static_cast<ScriptedUi*>(ctx);
  ui->pages_.push_back({TextOf(PosixDialogCaption(dialog)),
                        TextOf(PosixDialogControlText(dialog, UPD_ID_INFO)),
                        TextOf(PosixDialogControlText(dialog, UPD_ID_NEXT)),
                        PosixDialogControlEnabled(dialog, UPD_ID_BACK),
                        PosixDialogControlEnabled(dialog, UPD_ID_NEXT),
                        PosixDialogControlEnabled(dialog, UPD_ID_CANCEL),
                        PosixDialogFocus(dialog), PosixCurrentCursor()});
  if (ui->presses_.empty()) {
    ADD_FAILURE() << "the dialog waited for a press the script does not have";
    return -1;
  }
  Action next = std::move(ui->presses_.front());
  ui->presses_.pop_front();
  return next();
}
