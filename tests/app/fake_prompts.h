#pragma once

// The file dialogs and message boxes of the main dialog, answered by the test.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/user_prompts.h"

class FakePrompts : public UserPrompts {
 public:
  // The next file dialog's answer; a null string stands for Cancel.
  void Answer(QString path) { answers_.push_back(std::move(path)); }

  std::optional<QString> ChooseFile(QWidget*, const FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers_.empty()) return std::nullopt;
    const QString answer = answers_.front();
    answers_.pop_front();
    if (answer.isNull()) return std::nullopt;
    return answer;
  }

  void ShowMessage(QWidget*, const QString& text) override {
    messages.append(text);
    if (onMessage) onMessage(text);
  }

  std::vector<FileDialogRequest> requests;
  QStringList messages;
  std::function<void(const QString&)> onMessage;  // runs while the "box" is open

 private:
  std::deque<QString> answers_;
};
