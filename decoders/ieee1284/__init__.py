'''
IEEE 1284 ECP mode on a PC parallel port: negotiation (events 0-6, the extensibility byte,
XFlag), ECP set-up (30-31), forward cycles (34-37), the turns (38-40, 47-49), reverse
cycles (43-46), termination (22-28) and the loss of the link, with every step the standard
does not allow there marked as a violation.

Mode 'cable' reads what a logic analyzer clipped on the cable records: both sides'
handshakes. Mode 'register' reads the updater's own register trace (--trace FILE.vcd),
where the port chip's handshakes (PeriphAck per forward byte, HostAck in reverse) are
absent and each FIFO byte is one strobe.
'''

from .pd import Decoder
