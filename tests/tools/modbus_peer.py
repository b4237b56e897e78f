#!/usr/bin/python3
"""Talks to the simulated line with an independent Modbus master and prints what came back, one line a request.

Usage: modbus_peer.py <port path>. Exits 77 when pymodbus is not installed, so the caller can skip.
"""
import sys

try:
    from pymodbus.client import ModbusSerialClient
except ImportError:
    print("pymodbus missing")
    sys.exit(77)


def show(name, reply):
    if reply.isError():
        print(name, "error", getattr(reply, "exception_code", "none"))
    else:
        print(name, *getattr(reply, "registers", [getattr(reply, "value", "")]))


def main():
    client = ModbusSerialClient(port=sys.argv[1], baudrate=9600, timeout=1, retries=0)
    if not client.connect():
        print("cannot open", sys.argv[1])
        return 1
    show("info", client.read_holding_registers(17, 6, slave=255))
    show("write19", client.write_register(19, 7, slave=255))
    show("delay", client.read_holding_registers(19, 1, slave=255))
    show("distance3", client.read_holding_registers(21, 2, slave=3))
    show("reg23", client.read_holding_registers(23, 1, slave=255))
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
