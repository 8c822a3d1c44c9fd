#!/usr/bin/env python3
"""How long the sigrok decoders take over the cable trace of a 4 MiB update.

decode_bench.py M4410 DECODERS [MIB]

Sends a MIB MiB image (4 by default) to the simulated box on the virtual clock with
--sim cable=..., then decodes the cable trace with ieee1284 (cable mode) and m4410, writing
the image as it crossed the wire. Prints the trace's size, the decode's wall and CPU time,
and whether the decoded image equals the file. A figure, never pass or fail: the aim is
under a minute on a 2-core machine.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

m4410, decoders = (os.path.abspath(a) for a in sys.argv[1:3])
mib = int(sys.argv[3]) if len(sys.argv) > 3 else 4
work = tempfile.mkdtemp(prefix='decode-bench-')
image = os.urandom(mib << 20)
with open(os.path.join(work, 'image.bin'), 'wb') as f:
    f.write(image)
subprocess.run([m4410, 'update', 'image.bin', '--quiet', '--sim',
                'clock=virtual,update-ms=0,cable=cable.vcd'], cwd=work, check=False,
               stdout=subprocess.DEVNULL)
trace = os.path.join(work, 'cable.vcd')
env = dict(os.environ, SIGROKDECODE_DIR=decoders, PYTHONDONTWRITEBYTECODE='1')
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.monotonic()
done = subprocess.run(['sigrok-cli', '-I', 'vcd:downsample=10', '-i', trace,
                       '-P', 'ieee1284:mode=cable,m4410', '-B', 'm4410=image'],
                      env=env, capture_output=True)
wall = time.monotonic() - start
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
print('cable trace of a %d MiB update: %.0f MB; decoded in %.1f s wall, %.1f s CPU; '
      'image %s, sigrok-cli exit %d'
      % (mib, os.path.getsize(trace) / 1e6, wall, cpu,
         'identical' if done.stdout == image else 'DIFFERS (%d bytes)' % len(done.stdout),
         done.returncode))
