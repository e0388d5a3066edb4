// One program per user: a later start, and the launcher's actions, hand their
// request to the running program and end.
#pragma once
#include <functional>
#include <optional>
#include <string>

// First thing at start: the request of the command line ("--preferences",
// "--show-activity", "--quit"; anything else is ignored, a launcher's
// arguments too). When a program runs already it gets the request and this
// answers the exit code to end with; a "--quit" without a running program ends
// at once too. Answers nothing when this process is to be the program.
std::optional<int> HandOverToRunningProgram(int argc, char** argv);

// Once the runtime is up: answers later starts until the event loop ends.
void ServeLaterStarts();
void StopServingLaterStarts();

// A request line of a later start; answers one line. Acting on windows waits
// until the start-up thread has made the workers.
std::string AnswerLaterStart(const std::string& request);

// Answers requests the program does not know itself (nothing: not ours either).
// Only builds made for looking at the program from outside install one.
using LaterStartExtra = std::function<std::optional<std::string>(const std::string&)>;
void SetLaterStartExtra(LaterStartExtra extra);
