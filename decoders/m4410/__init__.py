'''
The Marlovine 4410 box's update exchange, stacked on ieee1284: the box's opening record,
its box data, the updater's header with the announced length, the image with its length
and CRC-32, the box's closing record, the waits between them, and what went wrong.

Binary outputs 'image' and 'boxdata' give the bytes as they crossed the wire.
'''

from .pd import Decoder
