#!/usr/bin/env python3
"""The sigrok decoders against runs on the simulated box, read from both traces.

decoders_test.py M4410 DECODERS GOLDEN [record]

Golden annotation files (no sample numbers) for fixed virtual-clock runs; oracles that need
none (binary outputs, the box's own receipt line); no violation on any run the host makes;
traces altered on purpose showing one violation where the change was made; a capture
joined in the middle of the image. `record` writes the golden files anew.
"""
import binascii
import os
import re
import subprocess
import sys
import tempfile

M4410, DECODERS, GOLDEN = sys.argv[1:4]
RECORD = sys.argv[4:] == ['record']
BASE = 'clock=virtual,update-ms=0'

# name: --sim keys beyond BASE. The golden ones first.
RUNS = {
    'whole-update': '',
    'box-data': 'box-data=250',
    'no-answer': 'answer-on-attempt=0',
    'refused-confirmation': 'confirm=no',
    'silent-setup': 'setup=no',
    'silent-termination': 'terminate=no',
    'dropped-link': 'drop-select-at=20',
    'stalled-fifo': 'stall-at=20',
    'no-closing-record': 'closing=no',
    # Further runs for the no-violation sweep only.
    'fast-box': 'rate=0,latency-us=0',
    'late-nack': 'nack-delay-ms=5',
    'slow-turns': 'reverse-ack-ms=30,forward-ack-ms=20',
    'forward-unanswered': 'forward-ack-ms=40',
    'silent-reverse': 'reverse=no',
    'no-opening': 'opening=no',
    'drop-while-sending': 'box-data=30,drop-select-at-sent=20',
    'busy-after-image': 'ready-ms=500',
    'late-termination': 'terminate-ack-ms=40',
    'second-attempt': 'answer-on-attempt=2',
}
GOLDEN_RUNS = list(RUNS)[:9]
TRACES = (('cable', 'cable.vcd'), ('register', 'register.vcd'))

failures = []
env = dict(os.environ, SIGROKDECODE_DIR=DECODERS, PYTHONDONTWRITEBYTECODE='1')
work = tempfile.mkdtemp(prefix='decoders-test-')
image_path = os.path.join(work, 'image.bin')
IMAGE = bytes((i * 37 + 11) % 256 for i in range(40))
with open(image_path, 'wb') as f:
    f.write(IMAGE)


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL: ' + what)


def run_box(name):
    folder = os.path.join(work, name)
    os.mkdir(folder)
    sim = ','.join(k for k in (BASE, RUNS[name], 'cable=cable.vcd') if k)
    done = subprocess.run([M4410, 'update', image_path, '--sim', sim, '--trace', 'register.vcd'],
                          cwd=folder, capture_output=True, text=True)
    receipt = re.search(r'box received (\d+) bytes, crc32 ([0-9a-f]{8})', done.stderr)
    return folder, receipt


# Cable traces at 10 MHz (the handshake's steps are 100 ns apart), register traces at their
# own 1 MHz. sigrok makes every sample of a quiet stretch, so stretches over a second (the
# box's 600 s, a 10 s stall) are read as one second: see squeeze().
INPUT = {'cable': 'vcd:downsample=10', 'register': 'vcd'}
SECOND = {'cable': 100000000, 'register': 1000000}  # in each trace's time stamps


def sigrok(trace, mode, *args, samples=False):
    cmd = ['sigrok-cli', '-I', INPUT[mode], '-i', trace, '-P', 'ieee1284:mode=%s,m4410' % mode]
    if samples:
        cmd.append('--protocol-decoder-samplenum')
    done = subprocess.run(cmd + list(args), env=env, capture_output=True)
    check(done.returncode == 0, '%s: sigrok-cli exit %d: %s'
          % (trace, done.returncode, done.stderr.decode(errors='replace')))
    return done.stdout


def annotations(trace, mode, rows='ieee1284,m4410', samples=False):
    return sigrok(trace, mode, '-A', rows, samples=samples).decode().splitlines()


def violations(lines):
    return [line for line in lines if 'violation' in line]


def read_vcd(path):
    with open(path) as f:
        head, body = f.read().split('$enddefinitions $end\n')
    ids = dict(re.findall(r'\$var wire 1 (\S+) (\S+) \$end', head))
    names = {v: k for k, v in ids.items()}
    blocks = []  # [time, [(name, level)]]
    for line in body.splitlines():
        if line.startswith('#'):
            blocks.append([int(line[1:]), []])
        elif line[:1] in '01' and blocks:
            blocks[-1][1].append((ids[line[1:]], line[0]))
    return head, names, blocks


def write_vcd(path, head, names, blocks):
    with open(path, 'w') as f:
        f.write(head + '$enddefinitions $end\n')
        for time, changes in blocks:
            f.write('#%d\n' % time + ''.join('%s%s\n' % (v, names[n]) for n, v in changes))


def squeeze(path, longest):
    """A copy of the trace whose quiet stretches last at most `longest`."""
    head, names, blocks = read_vcd(path)
    shift, last = 0, None
    for block in blocks:
        if last is not None and block[0] - last > longest:
            shift += block[0] - last - longest
        last = block[0]
        block[0] -= shift
    out = path[:-4] + '-squeezed.vcd'
    write_vcd(out, head, names, blocks)
    return out


# --- every run: golden files, oracles, no violation ---------------------------------------

runs = {name: run_box(name) for name in RUNS}
for name, (folder, receipt) in runs.items():
    text = ''
    for mode, file in TRACES:
        trace = squeeze(os.path.join(folder, file), SECOND[mode])
        lines = annotations(trace, mode)
        check(not violations(lines), '%s/%s: %s' % (name, mode, violations(lines)))
        text += '== %s ==\n' % mode + '\n'.join(
            l for l in lines if not re.match(r'ieee1284-1: (fwd|rev)( command)? 0x', l)) + '\n'
        decoded = [l for l in lines if l.startswith('m4410-1: image:')]
        if receipt and int(receipt.group(1)) == len(IMAGE):
            # The image as it crossed the wire, its length and CRC as the box reports them.
            check(sigrok(trace, mode, '-B', 'm4410=image') == IMAGE, '%s/%s: image' % (name, mode))
            check(decoded == ['m4410-1: image: %s bytes, crc32 %s' % receipt.groups()],
                  '%s/%s: %s against %s' % (name, mode, decoded, receipt.group(0)))
        if 'box-data' in RUNS[name] and 'drop' not in RUNS[name]:
            with open(os.path.join(folder, '0'), 'rb') as f:
                check(sigrok(trace, mode, '-B', 'm4410=boxdata') == f.read(),
                      '%s/%s: box data' % (name, mode))
    if name not in GOLDEN_RUNS:
        continue
    golden = os.path.join(GOLDEN, name + '.txt')
    if RECORD:
        with open(golden, 'w') as f:
            f.write(text)
    else:
        with open(golden) as f:
            check(f.read() == text, '%s: differs from %s' % (name, golden))

# --- traces altered on purpose --------------------------------------------------------------


def find(blocks, name, level, after=0, nth=0):
    for i, (time, changes) in enumerate(blocks):
        if time > after and (name, level) in changes:
            if nth == 0:
                return i
            nth -= 1
    raise LookupError(name)


cable = os.path.join(runs['whole-update'][0], 'cable.vcd')
head, names, blocks = read_vcd(cable)
image_strobe = find(blocks, 'nStrobe', '0', nth=1 + 12 + 20)  # after event 3 and the header


def swap_events(b):
    ack = find(b, 'nAck', '0')                        # event 2
    strobe = find(b, 'nStrobe', '0', b[ack][0])       # event 3
    b[ack][1].remove(('nAck', '0'))
    b[strobe][1].append(('nAck', '0'))
    b[ack][1].append(('nStrobe', '0'))
    b[strobe][1].remove(('nStrobe', '0'))
    return b[ack][0]


def strobe_while_busy(b):
    i = image_strobe
    busy_low = find(b, 'Busy', '0', b[i][0])
    b[busy_low][1].remove(('Busy', '0'))
    nxt = find(b, 'nStrobe', '0', b[busy_low][0])
    b[find(b, 'Busy', '1', b[nxt][0])][1].remove(('Busy', '1'))
    return b[nxt][0]


def flip_under_strobe(b):
    i = image_strobe
    busy = find(b, 'Busy', '1', b[i][0])
    rise = find(b, 'nStrobe', '1', b[i][0])
    d0 = [v for t, c in b[:i + 1] for n, v in c if n == 'd0'][-1]
    b[busy][1].append(('d0', '1' if d0 == '0' else '0'))
    b[rise][1].append(('d0', d0))
    return b[busy][0]


def turn_unacknowledged(b):
    request = find(b, 'nInit', '0')
    b[find(b, 'PError', '0', b[request][0])][1].remove(('PError', '0'))
    return b[find(b, 'nAck', '0', b[request][0])][0]


for alteration in (swap_events, strobe_while_busy, flip_under_strobe, turn_unacknowledged):
    altered = [[t, list(c)] for t, c in blocks]
    at = alteration(altered)
    path = os.path.join(work, alteration.__name__ + '.vcd')
    write_vcd(path, head, names, altered)
    found = violations(annotations(path, 'cable', 'ieee1284=violations', samples=True))
    check(len(found) == 1 and found[0].startswith('%d-' % (at // 10)),
          '%s: one violation at %d expected: %s' % (alteration.__name__, at, found))

# --- a capture that begins in the middle of the image -----------------------------------------

k = 20
cut = find(blocks, 'nStrobe', '0', nth=1 + 12 + k)  # byte k's strobe, already low at the cut
levels = {}
for time, changes in blocks[:cut + 1]:
    levels.update(changes)
base = blocks[cut][0]
joined = [[0, sorted(levels.items())]] + [[t - base, c] for t, c in blocks[cut + 1:]]
path = os.path.join(work, 'joined.vcd')
write_vcd(path, head, names, joined)
lines = annotations(path, 'cable', 'ieee1284=bytes')
forward = bytes(int(l.split()[-1], 16) for l in lines if l.startswith('ieee1284-1: fwd 0x'))
check(forward == IMAGE[k + 1:], 'joined mid-image: %s' % forward.hex())
check(sigrok(path, 'cable', '-B', 'm4410=image') == b'', 'joined mid-image: an image invented')

print('decoders: %d failures' % len(failures))
sys.exit(1 if failures else 0)
