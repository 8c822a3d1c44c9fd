import binascii
import sigrokdecode as srd

A_RECORD, A_BOXDATA, A_HEADER, A_IMAGE, A_WAIT, A_PROBLEM, A_LINK = range(7)
B_IMAGE, B_BOXDATA = range(2)

HEADER_KIND = 1
IMAGE_TAG = 0x40200000
CHUNK = 65536  # binary output goes out in pieces of this size


def words(record):
    return [int.from_bytes(record[i:i + 4], 'big') for i in (0, 4, 8)]


class Decoder(srd.Decoder):
    api_version = 3
    id = 'm4410'
    name = 'M4410'
    longname = 'Marlovine 4410 update'
    desc = 'The Marlovine 4410 box update exchange over IEEE 1284 ECP.'
    license = 'gplv2+'
    inputs = ['ieee1284']
    outputs = []
    tags = ['PC']
    annotations = (
        ('record', 'Box record'),
        ('boxdata', 'Box data'),
        ('header', 'Header'),
        ('image', 'Image'),
        ('wait', 'Wait'),
        ('problem', 'Problem'),
        ('link', 'Link'),
    )
    annotation_rows = (
        ('exchange', 'Exchange', (A_RECORD, A_BOXDATA, A_HEADER, A_IMAGE, A_LINK)),
        ('waits', 'Waits', (A_WAIT,)),
        ('problems', 'Problems', (A_PROBLEM,)),
    )
    binary = (
        ('image', 'The image as it crossed the wire'),
        ('boxdata', 'The box data as it crossed the wire'),
    )

    def __init__(self):
        self.reset()

    def reset(self):
        self.samplerate = None
        self.state = 'idle'
        self.buf = bytearray()
        self.want = 0
        self.ss = 0           # the first byte of the current piece
        self.es = 0           # the last byte so far
        self.pause_from = None
        self.image_crc = 0
        self.image_len = 0
        self.image_got = 0
        self.pending = bytearray()  # binary output not yet put
        self.stray = 0
        self.stray_ss = 0

    def metadata(self, key, value):
        if key == srd.SRD_CONF_SAMPLERATE:
            self.samplerate = value

    def start(self):
        self.out_ann = self.register(srd.OUTPUT_ANN)
        self.out_binary = self.register(srd.OUTPUT_BINARY)

    def ann(self, ss, es, cls, texts):
        self.put(ss, es, self.out_ann, [cls, texts])

    def problem(self, ss, es, text):
        self.ann(ss, es, A_PROBLEM, [text])

    def flush(self, cls):
        if self.pending:
            self.put(self.ss, self.es, self.out_binary, [cls, bytes(self.pending)])
            self.pending = bytearray()

    def wait_text(self, ss, es, what):
        if self.pause_from is None:
            return
        if self.samplerate:
            ms = (es - ss) * 1000.0 / self.samplerate
            self.ann(ss, es, A_WAIT, ['%s: %.1f ms' % (what, ms), '%.1f ms' % ms])
        else:
            self.ann(ss, es, A_WAIT, [what])
        self.pause_from = None

    def expect(self, state, want, ss):
        self.state = state
        self.want = want
        self.buf = bytearray()
        self.ss = ss

    # --- what the lower decoder says ---

    def decode(self, ss, es, data):
        kind = data[0]
        if kind in ('FWD_DATA', 'FWD_CMD'):
            self.forward(ss, es, data[1])
        elif kind in ('REV_DATA', 'REV_CMD'):
            self.reverse(ss, es, data[1])
        elif kind == 'LINK_UP':
            self.end_of_session(ss, 'the link was set up again')
            self.ann(ss, es, A_LINK, ['ECP link up', 'link up'])
            self.state = 'opening'
            self.buf = bytearray()
            self.want = 12
            self.pause_from = es
        elif kind == 'LINK_LOST':
            self.cut_short(ss, 'the link dropped')
        elif kind == 'TERMINATED':
            self.end_of_session(ss, 'the link was terminated')
            self.ann(ss, es, A_LINK, ['link terminated', 'terminated'])
            self.state = 'idle'

    def reverse(self, ss, es, byte):
        state = self.state
        if state in ('header', 'image'):
            if self.buf or state == 'image':
                self.cut_short(ss, 'the box sent')
            if self.state == 'header':
                self.problem(ss, es, 'box data beyond what the opening record announced')
                self.state = 'extra'
        state = self.state
        if state == 'done':
            self.expect('closing', 12, ss)
            self.wait_text(self.pause_from, ss, 'box updating')
        elif state == 'opening' and not self.buf:
            self.ss = ss
            self.wait_text(self.pause_from, ss, 'opening record due')
        elif state in ('idle', 'extra', 'closed', 'short', 'opening_missing'):
            return
        if self.state == 'boxdata':
            self.pending.append(byte)
            self.es = es
            self.want -= 1
            if len(self.pending) >= CHUNK:
                self.flush(B_BOXDATA)
                self.ss = es
            if self.want == 0:
                self.flush(B_BOXDATA)
                self.ann(self.data_ss, es, A_BOXDATA,
                         ['box data: %d bytes' % self.data_len, 'box data'])
                self.expect('header', 12, es)
            return
        self.buf.append(byte)
        self.es = es
        if len(self.buf) < self.want:
            return
        w = words(self.buf)
        if self.state == 'opening':
            self.ann(self.ss, es, A_RECORD,
                     ['opening record: %08x %08x, box data %d bytes' % tuple(w),
                      'opening record'])
            if w[2]:
                self.data_len = w[2]
                self.data_ss = es
                self.state = 'boxdata'
                self.want = w[2]
                self.ss = es
            else:
                self.expect('header', 12, es)
        else:
            self.ann(self.ss, es, A_RECORD,
                     ['closing record: %08x %08x %08x' % tuple(w), 'closing record'])
            self.state = 'closed'

    def forward(self, ss, es, byte):
        state = self.state
        if state in ('opening', 'boxdata', 'closing'):
            self.cut_short(ss, 'the updater sent')
            state = self.state
        if state in ('extra', 'opening_missing'):
            self.expect('header', 12, ss)
            state = 'header'
        if state == 'image':
            if self.image_got == 0:
                self.ss = self.image_ss = ss
                self.wait_text(self.pause_from, ss, 'pause before the image')
            self.pending.append(byte)
            self.image_got += 1
            self.es = es
            if len(self.pending) >= CHUNK:
                self.flush_image()
            if self.image_got == self.image_len:
                self.finish_image(es)
            return
        if state != 'header':
            if self.stray == 0:
                self.stray_ss = ss
            self.stray += 1
            return
        if not self.buf:
            self.ss = ss
        self.buf.append(byte)
        if len(self.buf) < 12:
            return
        kind, tag, length = words(self.buf)
        self.ann(self.ss, es, A_HEADER,
                 ['header: kind %d, tag %08x, image %d bytes' % (kind, tag, length),
                  'header %d' % length])
        if kind != HEADER_KIND or tag != IMAGE_TAG:
            self.problem(self.ss, es, 'header not kind 1 with tag 40200000')
        self.state = 'image'
        self.image_len = length
        self.image_got = 0
        self.image_crc = 0
        self.pause_from = es
        if length == 0:
            self.finish_image(es)

    def flush_image(self):
        self.image_crc = binascii.crc32(self.pending, self.image_crc)
        self.flush(B_IMAGE)
        self.ss = self.es

    def finish_image(self, es):
        self.flush_image()
        if self.image_got == 0:
            self.image_ss = es
        self.ann(self.image_ss, es, A_IMAGE,
                 ['image: %d bytes, crc32 %08x' % (self.image_got, self.image_crc),
                  'image %d' % self.image_got])
        self.state = 'done'
        self.pause_from = es

    # --- what went wrong ---

    def cut_short(self, ss, cause):
        state = self.state
        if state == 'image' and self.image_got < self.image_len:
            self.flush_image()
            self.problem(self.image_ss, ss, 'short image: %d of %d bytes, crc32 %08x (%s)'
                         % (self.image_got, self.image_len, self.image_crc, cause))
            self.state = 'short'
        elif state == 'boxdata':
            self.flush(B_BOXDATA)
            self.problem(self.data_ss, ss, 'box data cut off: %d of %d bytes (%s)'
                         % (self.data_len - self.want, self.data_len, cause))
            self.state = 'extra'
        elif state in ('opening', 'closing', 'header') and self.buf:
            self.problem(self.ss, ss, '%s record cut off: %d of 12 bytes (%s)'
                         % ({'header': 'header'}.get(state, state), len(self.buf), cause))
            self.state = 'opening_missing' if state == 'opening' else 'short'
        elif state == 'opening':
            self.problem(ss, ss, 'no opening record (%s)' % cause)
            self.state = 'opening_missing'

    def end_of_session(self, ss, cause):
        state = self.state
        self.cut_short(ss, cause)
        if state == 'done' or (state == 'closing' and not self.buf):
            self.problem(ss, ss, 'no closing record (%s)' % cause)
        if self.stray:
            self.problem(self.stray_ss, ss, '%d bytes sent with no header seen' % self.stray)
            self.stray = 0
        self.state = 'idle'
