// Why the last run stopped short, in words for the operator: the cause and what to do about
// it. Both programs show it under the failed stage; the stage board alone says only where.
#pragma once

#include <string>
#include <string_view>

namespace m4410 {

// One line, no trailing newline. Empty while nothing has gone wrong in the current run.
std::string RunCause();
void SetRunCause(std::string_view text);
void ClearRunCause();

// A run left (an end signal, "Leave now") once the image had gone out, before the box
// confirmed: the box has the image and finishes without us, so stage 6 is neither Okay nor
// Failed but this, and stage 7 stays unreported. ClearRunCause clears it.
inline constexpr char kNotConfirmedText[] = "not confirmed (left before the box's confirmation)";
void SetLeftBeforeConfirmation();
bool LeftBeforeConfirmation();

// The cause the worker gives when no box answered the negotiation in `attempts` tries.
std::string NoLinkCause(int attempts);

}  // namespace m4410
