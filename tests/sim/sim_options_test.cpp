#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace m4410 {
namespace {

SimOptions Parsed(std::string_view text) {
  SimOptions options;
  std::string error;
  EXPECT_TRUE(ParseSimOptions(text, &options, &error)) << text << ": " << error;
  return options;
}

// Parses text expecting failure; returns the message and checks *out was not touched.
std::string ErrorFor(std::string_view text) {
  SimOptions options;
  options.rate = 7;  // a marker the failed parse must leave alone
  std::string error;
  EXPECT_FALSE(ParseSimOptions(text, &options, &error)) << text;
  EXPECT_EQ(options.rate, 7u) << text;
  return error;
}

TEST(SimOptionsTest, EmptyTextGivesTheDefaults) {
  const SimOptions o = Parsed("");
  EXPECT_EQ(o.clock, SimClock::Real);
  EXPECT_EQ(o.latency_us, 100u);
  EXPECT_EQ(o.answer_on_attempt, 1u);
  EXPECT_TRUE(o.confirm);
  EXPECT_EQ(o.nack_delay_ms, 0u);
  EXPECT_TRUE(o.setup);
  EXPECT_TRUE(o.reverse);
  EXPECT_TRUE(o.terminate);
  EXPECT_TRUE(o.opening);
  EXPECT_EQ(o.box_data, 0u);
  EXPECT_EQ(o.rate, 2000000u);
  EXPECT_FALSE(o.drop_select_at.has_value());
  EXPECT_FALSE(o.stall_at.has_value());
  EXPECT_EQ(o.update_ms, 2000u);
  EXPECT_TRUE(o.closing);
  EXPECT_EQ(o, SimOptions{});
}

TEST(SimOptionsTest, EveryKeyIsRead) {
  const SimOptions o = Parsed(
      "clock=virtual,latency-us=250,answer-on-attempt=3,confirm=no,nack-delay-ms=5,setup=no,"
      "reverse=no,terminate=no,opening=no,box-data=250,rate=0,drop-select-at=1000,"
      "stall-at=0,drop-select-at-sent=7,data-pause-at=50,data-pause-ms=12000,update-ms=10,"
      "closing=no");
  EXPECT_EQ(o.clock, SimClock::Virtual);
  EXPECT_EQ(o.latency_us, 250u);
  EXPECT_EQ(o.answer_on_attempt, 3u);
  EXPECT_FALSE(o.confirm);
  EXPECT_EQ(o.nack_delay_ms, 5u);
  EXPECT_FALSE(o.setup);
  EXPECT_FALSE(o.reverse);
  EXPECT_FALSE(o.terminate);
  EXPECT_FALSE(o.opening);
  EXPECT_EQ(o.box_data, 250u);
  EXPECT_EQ(o.rate, 0u);
  EXPECT_EQ(o.drop_select_at, 1000u);
  EXPECT_EQ(o.stall_at, 0u);
  EXPECT_EQ(o.drop_select_at_sent, 7u);
  EXPECT_EQ(o.data_pause_at, 50u);
  EXPECT_EQ(o.data_pause_ms, 12000u);
  EXPECT_EQ(o.update_ms, 10u);
  EXPECT_FALSE(o.closing);
}

TEST(SimOptionsTest, YesNeverAndRealSetBackAndLaterKeysWin) {
  const SimOptions o = Parsed("confirm=no,confirm=yes,stall-at=5,stall-at=never,clock=virtual,"
                              "clock=real,rate=10,rate=20");
  EXPECT_TRUE(o.confirm);
  EXPECT_FALSE(o.stall_at.has_value());
  EXPECT_EQ(o.clock, SimClock::Real);
  EXPECT_EQ(o.rate, 20u);
}

TEST(SimOptionsTest, LargestValuesAreTakenWithoutWrapping) {
  const SimOptions o = Parsed("latency-us=10000000,answer-on-attempt=1000000,"
                              "nack-delay-ms=60000,box-data=4294967295,rate=1000000000,"
                              "drop-select-at=4294967295,stall-at=4294967295,update-ms=3600000,"
                              "data-pause-at=4294967295,data-pause-ms=3600000,"
                              "rate=0001000000000");
  EXPECT_EQ(o.latency_us, kMaxLatencyUs);
  EXPECT_EQ(o.answer_on_attempt, kMaxAnswerOnAttempt);
  EXPECT_EQ(o.nack_delay_ms, kMaxNackDelayMs);
  EXPECT_EQ(o.box_data, 4294967295u);
  EXPECT_EQ(o.rate, kMaxRate);
  EXPECT_EQ(o.drop_select_at, 4294967295u);
  EXPECT_EQ(o.stall_at, 4294967295u);
  EXPECT_EQ(o.update_ms, kMaxUpdateMs);
  EXPECT_EQ(o.data_pause_at, 4294967295u);
  EXPECT_EQ(o.data_pause_ms, kMaxAnswerMs);
}

TEST(SimOptionsTest, UnknownKeyIsNamed) {
  EXPECT_EQ(ErrorFor("foo=1"), "unknown --sim key 'foo'");
  EXPECT_EQ(ErrorFor("rate=5,Rate=6"), "unknown --sim key 'Rate'");
  EXPECT_EQ(ErrorFor(" rate=5"), "unknown --sim key ' rate'");
}

TEST(SimOptionsTest, BadValuesNameTheValueAndTheKey) {
  struct Case {
    const char* text;
    const char* value;
    const char* key;
  };
  const std::vector<Case> cases = {
      {"clock=fast", "fast", "clock"},
      {"confirm=1", "1", "confirm"},
      {"setup=YES", "YES", "setup"},
      {"closing=", "", "closing"},
      {"rate=x", "x", "rate"},
      {"rate=", "", "rate"},
      {"rate=-1", "-1", "rate"},
      {"rate=+5", "+5", "rate"},
      {"rate=0x10", "0x10", "rate"},
      {"rate=1.5", "1.5", "rate"},
      {"rate=never", "never", "rate"},
      {"latency-us= 5", " 5", "latency-us"},
      {"stall-at=sometimes", "sometimes", "stall-at"},
      {"drop-select-at=-3", "-3", "drop-select-at"},
      {"data-pause-at=soon", "soon", "data-pause-at"},
      {"data-pause-ms=never", "never", "data-pause-ms"},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorFor(c.text);
    EXPECT_EQ(error.rfind(std::string("bad value '") + c.value + "' for --sim key '" + c.key +
                              "'",
                          0),
              0u)
        << c.text << " gave: " << error;
  }
}

TEST(SimOptionsTest, OutOfRangeNumbersAreRefusedNotWrapped) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"latency-us=10000001", "latency-us"},
      {"answer-on-attempt=1000001", "answer-on-attempt"},
      {"nack-delay-ms=60001", "nack-delay-ms"},
      {"box-data=4294967296", "box-data"},
      {"rate=1000000001", "rate"},
      {"drop-select-at=4294967296", "drop-select-at"},
      {"stall-at=18446744073709551617", "stall-at"},  // 2^64 + 1 would wrap to 1
      {"update-ms=3600001", "update-ms"},
      {"reverse-ack-ms=3600001", "reverse-ack-ms"},
      {"data-pause-at=4294967296", "data-pause-at"},
      {"data-pause-ms=3600001", "data-pause-ms"},
  };
  for (const auto& [text, key] : cases) {
    const std::string error = ErrorFor(text);
    EXPECT_NE(error.find(std::string("for --sim key '") + key + "'"), std::string::npos)
        << text << " gave: " << error;
    EXPECT_NE(error.find("largest is"), std::string::npos) << error;
  }
}

TEST(SimOptionsTest, MalformedListsAreRefused) {
  EXPECT_EQ(ErrorFor("rate"), "--sim item 'rate' is not key=value");
  EXPECT_NE(ErrorFor("rate=5,,setup=no").find("empty item"), std::string::npos);
  EXPECT_NE(ErrorFor("rate=5,").find("empty item"), std::string::npos);
  EXPECT_NE(ErrorFor(",").find("empty item"), std::string::npos);
  // The first fault is the one reported.
  EXPECT_EQ(ErrorFor("bogus=1,rate=x"), "unknown --sim key 'bogus'");
}

TEST(SimOptionsTest, FormattedOptionsReadBackTheSame) {
  SimOptions changed;
  changed.clock = SimClock::Virtual;
  changed.latency_us = 0;
  changed.answer_on_attempt = 0;
  changed.confirm = false;
  changed.nack_delay_ms = 3;
  changed.negotiate_ms = 1;
  changed.confirm_ms = 2;
  changed.setup_ms = 3;
  changed.opening_ms = 4;
  changed.reverse_ack_ms = 5;
  changed.forward_ack_ms = 6;
  changed.ready_ms = 7;
  changed.terminate_ms = 8;
  changed.terminate_ack_ms = kMaxAnswerMs;
  changed.setup = false;
  changed.reverse = false;
  changed.terminate = false;
  changed.opening = false;
  changed.box_data = 250;
  changed.rate = 0;
  changed.drop_select_at = 0;
  changed.stall_at = 17;
  changed.data_pause_at = 50;
  changed.data_pause_ms = 12000;
  changed.update_ms = 0;
  changed.closing = false;
  changed.ecp = false;
  for (const SimOptions& o : {SimOptions{}, changed}) {
    SimOptions back;
    back.rate = 1;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(FormatSimOptions(o), &back, &error)) << error;
    EXPECT_EQ(back, o) << FormatSimOptions(o);
  }
}

TEST(SimOptionsTest, HelpNamesEveryKeyOnOneLine) {
  const std::string help(SimOptionsHelp());
  EXPECT_EQ(help.find('\n'), std::string::npos);
  const std::string all = FormatSimOptions(SimOptions{});
  std::size_t start = 0;
  int keys = 0;
  while (start < all.size()) {
    std::size_t comma = all.find(',', start);
    if (comma == std::string::npos) comma = all.size();
    const std::string key = all.substr(start, all.find('=', start) - start);
    EXPECT_NE(help.find(key + "="), std::string::npos) << key;
    ++keys;
    start = comma + 1;
  }
  EXPECT_EQ(keys, 29);
}

}  // namespace
}  // namespace m4410
