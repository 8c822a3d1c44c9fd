import sigrokdecode as srd

# Channel order: the eight data lines, the host's four, the peripheral's five.
D0, STB, AFD, INIT, SELIN, BUSY, ACK, PE, SEL, FAULT = 0, 8, 9, 10, 11, 12, 13, 14, 15, 16
LINES = (STB, AFD, INIT, SELIN, BUSY, ACK, PE, SEL, FAULT)

A_EVENT, A_PHASE, A_FWD_DATA, A_FWD_CMD, A_REV_DATA, A_REV_CMD, A_VIOLATION, A_NOTE = range(8)

MODES = {
    0x00: 'nibble mode', 0x01: 'byte mode', 0x04: 'device ID, nibble',
    0x05: 'device ID, byte', 0x10: 'ECP mode', 0x14: 'device ID, ECP',
    0x30: 'ECP mode with RLE', 0x34: 'device ID, ECP with RLE', 0x40: 'EPP mode',
    0x80: 'extensibility link',
}

# Phases where the data lines must hold still: the byte under a strobe.
HOLD = ('neg3', 'fwd35', 'fwd36', 'rev43')
# Phases where the data lines are watched: a byte being set up before a request.
WATCH_DATA = ('compat', 'unknown')
ECP_PHASES = ('fwd', 'fwd35', 'fwd36', 'rev39', 'rev', 'rev43', 'rev44', 'fwd47')
FORWARD = ('fwd', 'fwd35', 'fwd36')
REVERSE = ('rev', 'rev43', 'rev44')
# The lines whose edges matter in the phases of the data cycles; the others are read as
# levels when something happens.
WAKE = {
    'fwd': (STB, AFD, INIT, SELIN, ACK, PE, SEL),
    'fwd35': (STB, BUSY, SELIN, SEL),
    'fwd36': (STB, SELIN, SEL),
    'rev': (STB, INIT, SELIN, ACK, SEL),
    'rev43': (AFD, ACK, INIT, SELIN, SEL),
    'rev44': (ACK, INIT, SELIN, SEL),
}


def data_of(pins):
    value = 0
    for bit in range(8):
        value |= (pins[D0 + bit] & 1) << bit
    return value


class Decoder(srd.Decoder):
    api_version = 3
    id = 'ieee1284'
    name = 'IEEE 1284'
    longname = 'IEEE 1284 ECP mode'
    desc = 'IEEE 1284 parallel port: negotiation, ECP phases and cycles, termination.'
    license = 'gplv2+'
    inputs = ['logic']
    outputs = ['ieee1284']
    tags = ['PC']
    channels = tuple({'id': 'd%d' % i, 'name': 'd%d' % i, 'desc': 'Data line %d' % i}
                     for i in range(8)) + (
        {'id': 'nstrobe', 'name': 'nStrobe', 'desc': 'nStrobe / HostClk (pin 1)'},
        {'id': 'nautofd', 'name': 'nAutoFd', 'desc': 'nAutoFd / HostAck (pin 14)'},
        {'id': 'ninit', 'name': 'nInit', 'desc': 'nInit / nReverseRequest (pin 16)'},
        {'id': 'nselectin', 'name': 'nSelectIn', 'desc': 'nSelectIn / 1284 Active (pin 17)'},
        {'id': 'busy', 'name': 'Busy', 'desc': 'Busy / PeriphAck (pin 11)'},
        {'id': 'nack', 'name': 'nAck', 'desc': 'nAck / PeriphClk (pin 10)'},
        {'id': 'perror', 'name': 'PError', 'desc': 'PError / nAckReverse (pin 12)'},
        {'id': 'select', 'name': 'Select', 'desc': 'Select / XFlag (pin 13)'},
        {'id': 'nfault', 'name': 'nFault', 'desc': 'nFault / nPeriphRequest (pin 15)'},
    )
    options = (
        {'id': 'mode', 'desc': 'What was recorded', 'default': 'cable',
         'values': ('cable', 'register')},
    )
    annotations = (
        ('event', 'Handshake event'),
        ('phase', 'Phase'),
        ('fwd-data', 'Forward data'),
        ('fwd-cmd', 'Forward command'),
        ('rev-data', 'Reverse data'),
        ('rev-cmd', 'Reverse command'),
        ('violation', 'Violation'),
        ('note', 'Note'),
    )
    annotation_rows = (
        ('events', 'Events', (A_EVENT,)),
        ('bytes', 'Bytes', (A_FWD_DATA, A_FWD_CMD, A_REV_DATA, A_REV_CMD)),
        ('phases', 'Phases', (A_PHASE, A_NOTE)),
        ('violations', 'Violations', (A_VIOLATION,)),
    )

    def __init__(self):
        self.reset()

    def reset(self):
        self.phase = 'unknown'
        self.prev = None
        self.since = 0          # where the current phase began
        self.mark = 0           # where the current event sequence began
        self.data_since = 0     # the data lines last changed here
        self.byte = 0
        self.command = False
        self.late_ack = False   # event 2 still owed after an early strobe
        self.event5 = False
        self.cache = {}

    def start(self):
        self.out_ann = self.register(srd.OUTPUT_ANN)
        self.out_python = self.register(srd.OUTPUT_PYTHON)
        self.cable = self.options['mode'] == 'cable'

    # --- output ---

    def ann(self, ss, cls, texts):
        self.put(ss, self.samplenum, self.out_ann, [cls, texts])

    def event(self, ss, number, text):
        self.ann(ss, A_EVENT, ['%s: %s' % (number, text), str(number)])

    def violation(self, text):
        self.ann(self.samplenum, A_VIOLATION, ['violation: ' + text, 'violation', 'V'])
        self.put(self.samplenum, self.samplenum, self.out_python, ['VIOLATION', text])

    def note(self, ss, text):
        self.ann(ss, A_NOTE, [text])

    def enter(self, phase, text=None, python=None):
        if text:
            self.ann(self.since, A_PHASE, [text])
        if python:
            self.put(self.since, self.samplenum, self.out_python, python)
        self.phase = phase
        self.since = self.samplenum

    def byte_out(self, forward):
        if forward:
            cls, kind = (A_FWD_CMD, 'FWD_CMD') if self.command else (A_FWD_DATA, 'FWD_DATA')
            word = 'fwd command' if self.command else 'fwd'
        else:
            cls, kind = (A_REV_CMD, 'REV_CMD') if self.command else (A_REV_DATA, 'REV_DATA')
            word = 'rev command' if self.command else 'rev'
        self.put(self.mark, self.samplenum, self.out_ann,
                 [cls, ['%s 0x%02x' % (word, self.byte), '%02x' % self.byte]])
        self.put(self.mark, self.samplenum, self.out_python, [kind, self.byte])

    # --- the lines ---

    def conditions(self):
        # Built once per phase: a byte's cycle wakes the decoder only for its own edges.
        conds = self.cache.get(self.phase)
        if conds is None:
            lines = WAKE.get(self.phase, LINES)
            conds = [{line: 'e'} for line in lines]
            if self.phase in HOLD or self.phase in WATCH_DATA:
                conds += [{D0 + bit: 'e'} for bit in range(8)]
            self.cache[self.phase] = conds
        return conds

    def synchronise(self, p):
        # A capture that starts in the middle of a run: take the phase the lines show and
        # wait for the next whole cycle.
        if p[SELIN] == 0:
            self.phase = 'compat'
        elif p[INIT] == 1 and p[PE] == 1 and p[SEL] == 1:
            self.enter('fwd')
            self.note(0, 'joined in ECP forward')
        elif p[INIT] == 0 and p[PE] == 0 and p[SEL] == 1:
            self.enter('rev')
            self.note(0, 'joined in ECP reverse')
        else:
            self.phase = 'unknown'

    def decode(self):
        p = self.wait()
        self.synchronise(p)
        self.prev = p
        while True:
            p = self.wait(self.conditions())
            self.step(p, self.prev)
            self.prev = p

    def step(self, p, q):
        def fell(line):
            return q[line] == 1 and p[line] == 0

        def rose(line):
            return q[line] == 0 and p[line] == 1

        phase = self.phase
        data_moved = (phase in HOLD or phase in WATCH_DATA) and p[:8] != q[:8]
        n = self.samplenum

        if phase in ECP_PHASES and fell(SEL):
            self.note(n, 'link lost (Select low)')
            self.put(n, n, self.out_python, ['LINK_LOST'])

        # The data cycles first: they are nearly every step of a long capture.
        if phase in FORWARD:
            self.forward(p, q, fell, rose, data_moved)
            return
        if phase in REVERSE:
            self.reverse(p, q, fell, rose, data_moved)
            return

        if phase == 'unknown':
            if p[SELIN] == 0:
                self.phase = 'compat'
            return

        if phase == 'compat':
            if data_moved:
                self.data_since = n
            if rose(SELIN) and p[AFD] == 0 and p[STB] == 1:
                self.mark = n
                self.event(self.data_since, 0, 'extensibility byte 0x%02x on the data lines'
                           % data_of(p))
                self.event(n, 1, 'negotiation request (nSelectIn high, nAutoFd low)')
                self.late_ack = False
                self.enter('neg1')
                self.put(n, n, self.out_python, ['NEGOTIATION'])
            return

        if phase in ('neg1', 'neg2', 'neg3', 'neg4') and fell(SELIN):
            text = {'neg1': 'no answer to the negotiation request',
                    'neg4': 'ECP mode not confirmed'}.get(phase, 'negotiation abandoned')
            self.note(self.mark, text)
            self.enter('compat', python=['ABANDONED', text])
            return

        if phase == 'neg1':
            if fell(ACK):
                if not (p[PE] and p[SEL] and p[FAULT]):
                    self.violation('event 2 without PError, Select and nFault high')
                self.event(self.since, 2, 'peripheral answers as a 1284 device')
                self.enter('neg2')
            elif fell(STB):
                self.violation('event 3 (nStrobe low) before event 2 (nAck low)')
                self.late_ack = True
                self.latch(p)
            return

        if phase == 'neg2':
            if fell(STB):
                self.latch(p)
            elif rose(ACK) or fell(PE):
                self.violation('peripheral status changed before event 3')
            return

        if phase == 'neg3':
            if self.late_ack and fell(ACK):
                self.late_ack = False
            if data_moved and p[STB] == 0 and q[STB] == 0:
                self.violation('data changed under nStrobe')
            if p[STB] == 1 and p[AFD] == 1:
                self.event(self.since, 4, 'nStrobe and nAutoFd high')
                self.event5 = False
                self.enter('neg4')
            elif rose(ACK):
                self.violation('event 6 (nAck high) before event 4')
            return

        if phase == 'neg4':
            if fell(AFD):
                # The host went on to the set-up without waiting for event 6.
                self.note(n, 'event 30 before event 6: nAck still low')
                self.event(n, 30, 'HostAck low: ECP set-up')
                self.mark = n
                self.enter('setup30')
                self.late_ack = True
                self.step(p, q)
                return
            if fell(PE) and not self.event5:
                self.event5 = True
                self.event(self.since, 5, 'peripheral sets XFlag, PError low')
                self.since = n
            if rose(ACK):
                if not self.event5 and p[PE]:
                    self.violation('event 6 (nAck high) before event 5 (PError low)')
                xflag = p[SEL]
                self.event(self.since, 6, 'nAck high, XFlag %s' % ('high' if xflag else 'low'))
                mode = self.requested
                if xflag and mode in (0x10, 0x30):
                    self.enter('setup', '%s accepted' % MODES.get(mode, 'mode'),
                               ['ACCEPTED', mode])
                else:
                    self.note(self.mark, 'mode 0x%02x refused (XFlag low)' % mode
                              if not xflag else 'mode 0x%02x: not ECP' % mode)
                    self.enter('refused', python=['REFUSED', mode])
            return

        if phase == 'refused':
            if fell(SELIN):
                self.enter('compat')
            return

        if phase in ('setup', 'setup30') and fell(SELIN):
            self.note(self.since, 'ECP set-up unanswered' if phase == 'setup30'
                      else 'ECP set-up abandoned')
            self.enter('compat', python=['ABANDONED', 'set-up'])
            return

        if phase == 'setup':
            if fell(AFD):
                self.mark = n
                self.event(n, 30, 'HostAck low: ECP set-up')
                self.enter('setup30')
            return

        if phase == 'setup30':
            if self.late_ack and rose(ACK):
                self.late_ack = False
                self.event(n, 6, 'nAck high (late), XFlag %s' % ('high' if p[SEL] else 'low'))
            if rose(PE):
                self.event(self.since, 31, 'PError high: peripheral ready')
                self.enter('setup31')
            return

        if phase == 'setup31':
            if rose(AFD):
                self.ann(self.mark, A_PHASE, ['ECP set-up'])
                self.enter('fwd', python=['LINK_UP'])
            return

        if phase == 'rev39':
            if fell(AFD):
                self.event(n, 38, 'HostAck low: host ready for reverse data')
            if fell(PE):
                self.event(self.since, 40, 'PError low: peripheral takes the data lines')
                self.enter('rev')
            elif fell(ACK):
                self.violation('reverse data before event 40 (turn not acknowledged)')
                self.enter('rev')
                self.reverse(p, q, fell, rose, data_moved)
            elif rose(INIT):
                self.enter('fwd47')
                self.event(n, 47, 'nInit high: reverse request withdrawn')
            return

        if phase == 'fwd47':
            if fell(ACK) or fell(STB):
                self.violation('a cycle before event 49 (turn not acknowledged)')
                self.enter('fwd')
                self.forward(p, q, fell, rose, data_moved)
            elif p[PE] == 1 and p[ACK] == 1:
                self.event(self.since, 48, 'peripheral lets go of the data lines')
                self.event(self.since, 49, 'PError high: forward idle')
                self.enter('fwd', python=['FORWARD'])
                self.forward(p, q, fell, rose, data_moved)
            return

        self.termination(p, q, fell, rose)

    def latch(self, p):
        self.requested = data_of(p)
        self.event(self.samplenum, 3, 'nStrobe low: extensibility byte 0x%02x (%s)'
                   % (self.requested, MODES.get(self.requested, 'unknown mode')))
        self.enter('neg3')

    def forward(self, p, q, fell, rose, data_moved):
        n = self.samplenum
        phase = self.phase
        if phase == 'fwd':
            if fell(STB):
                if p[BUSY]:
                    self.violation('nStrobe low while Busy is high')
                self.mark = n
                self.byte = data_of(p)
                self.command = p[AFD] == 0
                if self.cable:
                    self.phase = 'fwd35'
                    if p[BUSY]:
                        self.phase = 'fwd36'
                else:
                    self.byte_out(True)
            elif fell(SELIN):
                if p[AFD] == 0:
                    self.violation('termination request with nAutoFd low')
                self.event(n, 22, 'termination request (nSelectIn low, nAutoFd high)')
                self.mark = n
                self.enter('term22')
            elif fell(INIT):
                if not p[PE]:
                    self.note(n, 'reverse request while PError is low')
                self.event(n, 39, 'nInit low: reverse request')
                self.mark = n
                self.enter('rev39')
            elif fell(ACK):
                self.violation('nAck low in the forward phase')
            return
        # cable mode: the peripheral's PeriphAck, then HostClk back high
        if data_moved and p[STB] == 0 and q[STB] == 0:
            self.violation('data changed under nStrobe')
        if phase == 'fwd35' and p[BUSY]:
            self.phase = 'fwd36'
            phase = 'fwd36'
        if rose(STB):
            if phase == 'fwd35':
                self.violation('event 37 (nStrobe high) before event 36 (Busy high)')
            self.byte_out(True)
            self.phase = 'fwd'
        elif fell(SELIN):
            self.note(self.mark, 'byte 0x%02x not acknowledged' % self.byte)
            self.phase = 'fwd'
            self.forward(p, q, fell, rose, data_moved)

    def reverse(self, p, q, fell, rose, data_moved):
        n = self.samplenum
        phase = self.phase
        if phase == 'rev':
            if fell(ACK):
                if self.cable and p[AFD]:
                    self.violation('nAck low while HostAck is high')
                self.mark = n
                self.byte = data_of(p)
                # PeriphAck tells data from command; the register trace never shows it.
                self.command = self.cable and p[BUSY] == 0
                if self.cable:
                    self.phase = 'rev43'
                else:
                    self.byte_out(False)
            elif rose(INIT):
                self.event(n, 47, 'nInit high: reverse request withdrawn')
                self.enter('fwd47')
            elif fell(SELIN):
                self.violation('termination request in the reverse phase')
                self.event(n, 22, 'termination request')
                self.mark = n
                self.enter('term22')
            elif fell(STB):
                self.violation('nStrobe low in the reverse phase')
            return
        if data_moved and p[ACK] == 0 and q[ACK] == 0 and phase == 'rev43':
            self.violation('data changed under nAck')
        if phase == 'rev43':
            if rose(AFD):
                self.phase = 'rev44'
            elif rose(ACK):
                self.violation('event 45 (nAck high) before event 44 (HostAck high)')
                self.byte_out(False)
                self.phase = 'rev'
        elif phase == 'rev44':
            if rose(ACK):
                self.byte_out(False)
                self.phase = 'rev'
        if fell(SELIN) or rose(INIT):
            self.phase = 'rev'
            self.reverse(p, q, fell, rose, data_moved)

    def termination(self, p, q, fell, rose):
        n = self.samplenum
        phase = self.phase
        if phase == 'term22':
            if fell(ACK):
                if not p[BUSY]:
                    self.violation('event 24 (nAck low) without event 23 (Busy high)')
                else:
                    self.event(self.since, 23, 'Busy and nFault high')
                self.event(n, 24, 'nAck low: termination acknowledged')
                self.enter('term24')
            elif fell(AFD):
                self.note(self.mark, 'termination unanswered')
                self.enter('reset')
        elif phase == 'term24':
            if fell(AFD):
                self.event(n, 25, 'nAutoFd low')
                self.enter('term25')
        elif phase == 'term25':
            if rose(ACK):
                self.event(self.since, 26, 'peripheral sets compatibility status')
                self.event(n, 27, 'nAck high')
                self.enter('term27')
            elif rose(AFD):
                self.note(self.mark, 'termination not finished by the peripheral')
                self.enter('compat', python=['TERMINATED'])
        elif phase == 'term27':
            if rose(AFD):
                self.event(n, 28, 'nAutoFd high: compatibility mode')
                self.since = self.mark
                self.enter('compat', 'termination', ['TERMINATED'])
        elif phase == 'reset':
            if rose(AFD):
                self.since = self.mark
                self.enter('compat', 'termination (host reset)', ['TERMINATED'])
