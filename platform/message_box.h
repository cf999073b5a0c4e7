#pragma once

// The modal message boxes with one OK button that the worker shows the user.

#include <functional>
#include <string>

using MessageBoxPresenter = std::function<void(const std::string& text)>;

// Makes the calling thread the one that shows message boxes, with this presenter (the dialog's
// modal box; the console's writer to standard error). An empty presenter restores the default,
// which writes the text to standard error.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows the text on the presenter's thread and returns once it has been dismissed. Callable from
// any thread; the presenter's own thread calls it directly.
void ShowMessageBox(const std::string& text);
