#pragma once

// The pause for one key press that follows some of the codec's console messages. Neither front end
// has a console to wait on: the dialog has none, and the command-line converter must never stall a
// conversion on the keyboard. So it returns at once.
void WaitForKeyPress();
