#!/usr/bin/env python3
"""Writes the demonstration log demo/new_line.log: three months (September to November 2003) of a point's
modem mailer calling and being called by a dozen FidoNet systems.

The output is the same on every run (fixed seed), so the committed log can be checked against this script:

    python3 demo/make-demo-log.py            # rewrites demo/new_line.log
    python3 demo/make-demo-log.py -o x.log   # writes elsewhere

Lines end with CR LF and the text is single-byte (Windows-1251 for the few Cyrillic place names). The first
line of a session and its closing line follow the mailer's layout: a two-character flag, the date, the time
and the message, as in "+ 12-Sen-2003 10:15:30 CONNECT 33600".
"""

import argparse
import datetime
import os
import random

SEED = 20030901
FIRST_DAY = datetime.date(2003, 9, 1)
LAST_DAY = datetime.date(2003, 11, 30)

# The mailer's own month words: September to November are Sen, Okt and Nob.
MONTH_WORDS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sen", "Okt", "Nob", "Dec"]

SYSTEMS = [
    # address, station, sysop, place
    ("2:5020/1234", "Polar Bear Station", "Ivan Petrov", "Moscow"),
    ("2:5020/400", "Grey Heron Node", "Sergey Volkov", "Moscow"),
    ("2:5020/1234.5", "Bear Cub Point", "Anna Petrova", "Moscow"),
    ("2:5030/56", "Night Owl Station", "Oleg Smirnov", "Saint Petersburg"),
    ("2:5030/56.7", "Owlet Point", "Pavel Orlov", "Saint Petersburg"),
    ("2:5040/12", "Riverside Hub", "Dmitry Sokolov", "Novosibirsk"),
    ("2:5080/102", "Amber Coast", "Yuri Kozlov", "Kaliningrad"),
    ("2:461/33", "Steppe Wind", "Andrey Belov", "Kyiv"),
    ("2:450/1024", "Birch Grove Node", "Mikhail Zaitsev", "Minsk"),
    ("2:5012/8", "Copper Mountain", "Viktor Lebedev", "Yekaterinburg"),
    ("2:5015/60", "Volga Lights", "Nikolai Morozov", "Samara"),
    ("2:5054/77", "Ural Pines", "Boris Novikov", "Chelyabinsk"),
]
# Cyrillic place names in Windows-1251, for a few systems, to show single-byte text in the window.
CYRILLIC_PLACES = {"2:5040/12": "Новосибирск", "2:5080/102": "Калининград"}

SPEEDS = ["2400", "9600", "14400", "19200", "28800", "31200", "33600", "33600", "33600", "44000", "48000"]
# How the names of the files that travel look: mail packets, bundles, lists and file echoes.
INBOUND_FILES = [
    lambda r: "{:04x}{:04x}.pkt".format(r.randrange(0x10000), r.randrange(0x10000)),
    lambda r: "{:08x}.{}{}".format(r.randrange(0x100000000), r.choice(["su", "mo", "tu", "we", "th", "fr", "sa"]),
                                   r.randrange(10)),
    lambda r: "nodediff.a{:02d}".format(r.randrange(1, 52)),
    lambda r: "fidonews.{:03d}".format(r.randrange(1, 366)),
    lambda r: "seg{:03d}.zip".format(r.randrange(1, 999)),
    lambda r: "pnt{:04d}.arj".format(r.randrange(1, 9999)),
]
OUTBOUND_FILES = [
    lambda r: "{:08x}.out".format(r.randrange(0x100000000)),
    lambda r: "{:04x}{:04x}.pkt".format(r.randrange(0x10000), r.randrange(0x10000)),
]


def date_text(moment):
    return "{:02d}-{}-{}".format(moment.day, MONTH_WORDS[moment.month - 1], moment.year)


class Log:
    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.now = None

    def line(self, flag, message, seconds=0):
        self.now += datetime.timedelta(seconds=seconds)
        self.lines.append("{} {} {} {}".format(flag, date_text(self.now), self.now.strftime("%H:%M:%S"), message))

    def plain(self, message, seconds=0):
        self.line(" ", message, seconds)


def file_name(rng, kinds):
    return rng.choice(kinds)(rng)


def size_text(size):
    return "{:,}".format(size)


def receive_file(log, rng, cps):
    """A received file: its announcement, perhaps a resume, progress lines, and perhaps a part or rejection.
    Returns False when the carrier dropped in the middle of it."""
    name = file_name(rng, INBOUND_FILES)
    size = rng.choice([rng.randint(200, 9000), rng.randint(9000, 120000), rng.randint(120000, 900000)])
    log.plain("Receiving '{}' ({}b)".format(name, size_text(size)), rng.randint(1, 3))
    roll = rng.random()
    if roll < 0.05:
        log.plain("  File {} already exists".format(name), 1)
        log.plain("Receiving file was rejected", 1)
        return True
    offset = 0
    if roll < 0.12 and size > 20000:
        offset = rng.randrange(1024, size // 2, 1024)
        log.plain("  Resuming from offset {}".format(size_text(offset)), 1)
    remaining = size - offset
    steps = max(1, min(4, remaining // 40000 + 1))
    done = offset
    for step in range(steps):
        chunk = remaining // steps if step < steps - 1 else size - done
        done += chunk
        log.plain("  {} bytes, {} cps".format(size_text(done), cps + rng.randint(-200, 200)),
                  max(1, chunk // cps))
    if roll > 0.96:
        part = rng.randint(size // 10, size - 1)
        log.plain("Part of '{}' ({}b) received".format(name, size_text(part)), 1)
        return False
    log.plain("  '{}' received, CRC OK".format(name), 1)
    return True


def send_file(log, rng, cps):
    name = file_name(rng, OUTBOUND_FILES)
    size = rng.randint(300, 60000)
    log.plain("Sending '{}' ({}b)".format(name, size_text(size)), 1)
    log.plain("  '{}' sent, {} cps".format(name, cps + rng.randint(-300, 100)), max(1, size // cps))


def session(log, rng, system, outgoing):
    address, station, sysop, place = system
    speed = rng.choice(SPEEDS)
    cps = int(speed) // 10 - rng.randint(0, 150)
    if outgoing:
        log.plain("Dialing {} (+7-555-{:04d})".format(address, rng.randrange(10000)))
        if rng.random() < 0.25:
            log.line("-", rng.choice(["BUSY", "NO CARRIER", "NO ANSWER"]), rng.randint(10, 45))
            return
    else:
        log.plain("RING")
    log.line("+", "CONNECT {}".format(speed), rng.randint(8, 30))
    log.plain("  Handshake: EMSI", 2)

    ending = rng.random()
    if ending < 0.05:
        # Line noise before the other side introduces itself.
        log.line("-", "Session aborted", rng.randint(5, 20))
        return
    if ending < 0.09:
        log.line("-", "Initializing modem", rng.randint(20, 60))
        return

    # Some systems write their address as the last word of its line.
    if rng.random() < 0.5:
        log.plain("Address : {}".format(address), 2)
    else:
        log.plain("Address : {} ({})".format(address, station), 2)
    log.plain("  System: {}".format(station))
    log.plain("  Sysop: {}".format(sysop))
    place_text = CYRILLIC_PLACES[address] if address in CYRILLIC_PLACES and rng.random() < 0.5 else place
    log.plain("  Location: {}".format(place_text))
    if rng.random() < 0.3:
        log.plain("  Password protected session", 1)

    for _ in range(rng.choice([0, 1, 1, 2, 2, 3, 4])):
        if not receive_file(log, rng, cps):
            log.line("!", "Aborting due to carrier loss", rng.randint(1, 5))
            return
    for _ in range(rng.choice([0, 0, 1, 2])):
        send_file(log, rng, cps)

    if ending < 0.14:
        log.line("-", "Session aborted", rng.randint(2, 10))
    elif ending < 0.24:
        log.line("!", "Aborting due to carrier loss", rng.randint(2, 10))
    elif ending < 0.28:
        log.line("-", "Initializing modem", rng.randint(30, 90))
    else:
        log.line("+", "Session completed successfully", rng.randint(1, 4))
    log.plain("  Hanging up", 1)


def build(rng):
    log = Log(rng)
    day = FIRST_DAY
    log.now = datetime.datetime.combine(day, datetime.time(7, 59, 40))
    log.plain("Mailer started, log opened")
    log.line("-", "Initializing modem", 5)
    while day <= LAST_DAY:
        calls = rng.randint(2, 6)
        starts = sorted(rng.randrange(8 * 3600, 24 * 3600 - 300) for _ in range(calls))
        for start in starts:
            moment = datetime.datetime.combine(day, datetime.time()) + datetime.timedelta(seconds=start)
            if moment > log.now:
                log.now = moment
            session(log, rng, rng.choice(SYSTEMS), outgoing=rng.random() < 0.6)
            log.line("-", "Initializing modem", rng.randint(3, 8))
            log.plain("Waiting for calls", 1)
        day += datetime.timedelta(days=1)
    log.plain("Mailer stopped, log closed", 60)
    return log.lines


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=os.path.join(here, "new_line.log"))
    args = parser.parse_args()
    lines = build(random.Random(SEED))
    with open(args.output, "wb") as out:
        for line in lines:
            out.write(line.encode("cp1251") + b"\r\n")


if __name__ == "__main__":
    main()
