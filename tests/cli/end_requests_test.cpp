// The two-step meaning of an end request, whichever way the system delivers it.
#include "cli/end_requests.h"

#include <gtest/gtest.h>

#include "board/stage_board.h"

namespace m4410 {
namespace {

TEST(EndRequests, FirstStopsAtASafePointSecondEndsUnlessTheImageGoesOut) {
  RaiseKeepGoing();
  SetImageInFlight(false);
  EXPECT_EQ(EndRequestCount(), 0);

  EXPECT_FALSE(CountEndRequest()) << "the first request only asks the run to stop";
  EXPECT_FALSE(KeepGoing());
  EXPECT_EQ(EndRequestCount(), 1);

  RaiseKeepGoing();
  SetImageInFlight(true);
  EXPECT_FALSE(CountEndRequest()) << "an image going out is sent whole";
  EXPECT_FALSE(KeepGoing());

  SetImageInFlight(false);
  EXPECT_TRUE(CountEndRequest());
  EXPECT_EQ(EndRequestCount(), 3);
}

}  // namespace
}  // namespace m4410
