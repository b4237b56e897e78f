#!/usr/bin/python3
"""An independent line of sixteen distance sensors: pymodbus serving holding registers 21 and 22 of units 1 to 16 on
a serial device, sensor n holding n * 10000 + 1235 (0.1 mm, high word first). Units named with --silent do not
answer. Usage: pymodbus_line.py DEVICE [--silent N ...]. Exits 77 when pymodbus is not installed.
"""
import asyncio
import sys

try:
    from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
    from pymodbus.server import StartAsyncSerialServer
    from pymodbus.transaction import ModbusRtuFramer
except ImportError:
    print("pymodbus missing", flush=True)
    sys.exit(77)


def main():
    device = sys.argv[1]
    silent = {int(a) for a in sys.argv[3::2]} if "--silent" in sys.argv else set()
    units = {}
    for unit in range(1, 17):
        if unit in silent:
            continue
        value = unit * 10000 + 1235
        registers = [0] * 32
        registers[21], registers[22] = value >> 16, value & 0xFFFF
        units[unit] = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, registers), zero_mode=True)
    context = ModbusServerContext(slaves=units, single=False)
    print("serving", device, flush=True)
    asyncio.run(StartAsyncSerialServer(context=context, framer=ModbusRtuFramer, port=device, baudrate=9600,
                                       ignore_missing_slaves=True))


if __name__ == "__main__":
    main()
