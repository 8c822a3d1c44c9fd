#!/usr/bin/env python3
"""Writes the seed corpus of box_behaviour_fuzz: one input per row of the worker's outcome
table, in the byte layout of box_behaviour.h. Run from anywhere; rewrites the seeds."""
import pathlib

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "box_behaviour"

WITHHELD, ATTEMPTS, CIRCUMSTANCE, LOWER = 0, 1, 2, 3
BOX_DATA = 7
FORWARD_ACK = 22          # the delay pairs start at 10: kind, then fine
DROP_SELECT_AT = 34
PAUSE_AT, PAUSE_MS = 38, 40


def seed(at=None):
    data = bytearray(42)  # all zeros: a prompt box that completes, a 53-byte image
    for index, value in (at or {}).items():
        data[index] = value
    return bytes(data)


SEEDS = {
    "port_not_claimed": seed(at={CIRCUMSTANCE: 1}),
    "keep_going_lowered_after_stage_2": seed(at={LOWER: 1}),
    "no_link_in_three_attempts": seed(at={ATTEMPTS: 4}),
    "keep_going_lowered_after_stage_3": seed(at={LOWER: 2}),
    "update_file_missing": seed(at={CIRCUMSTANCE: 2}),
    "no_opening_record": seed(at={WITHHELD: 8}),
    "keep_going_lowered_after_opening_record": seed(at={LOWER: 3}),
    # the turn forward answered 35 + 5 ms late
    "header_not_sent": seed(at={FORWARD_ACK: 3, FORWARD_ACK + 1: 5}),
    "keep_going_lowered_after_header": seed(at={LOWER: 4}),
    "image_not_sent": seed(at={DROP_SELECT_AT: 2, DROP_SELECT_AT + 1: 20}),
    "no_closing_record": seed(at={WITHHELD: 16}),
    # 100 bytes of box data with a 9 s pause after 50 bytes sent
    "completed": seed(at={BOX_DATA: 100, PAUSE_AT: 2, PAUSE_AT + 1: 50, PAUSE_MS: 6,
                          PAUSE_MS + 1: 90}),
}

OUT.mkdir(parents=True, exist_ok=True)
for name, data in SEEDS.items():
    (OUT / name).write_bytes(data)
