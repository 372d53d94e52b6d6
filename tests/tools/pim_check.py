#!/usr/bin/python3
"""Reads a vCard or iCalendar file with Debian's python3-vobject and
python3-icalendar (both must parse it) and prints, one per line, the values
the tests compare with the records: KEY=VALUE in file order."""
import sys

import icalendar
import vobject


def cards(text):
    for card in vobject.readComponents(text):
        yield "FN=" + card.fn.value
        for tel in card.contents.get("tel", []):
            yield "TEL=" + ",".join(sorted(tel.params.get("TYPE", []))) + ":" + tel.value
        for mail in card.contents.get("email", []):
            yield "EMAIL=" + mail.value
        for adr in card.contents.get("adr", []):
            a = adr.value
            yield "ADR=" + ",".join(adr.params.get("TYPE", [])) + ":" + "|".join(
                [a.street, a.city, a.region, a.code, a.country])
        for impp in card.contents.get("impp", []):
            yield "IMPP=" + impp.value
        for key in ("url", "bday", "note", "x-anniversary", "title"):
            for item in card.contents.get(key, []):
                yield key.upper() + "=" + str(item.value)
        for key in sorted(k for k in card.contents if k.startswith("x-palm-custom")):
            for item in card.contents[key]:
                yield key.upper() + "=" + ",".join(item.params.get("X-LABEL", [])) + ":" + item.value
        for photo in card.contents.get("photo", []):
            yield "PHOTO=" + photo.value[:4].hex() + ":" + str(len(photo.value))
        for cat in card.contents.get("categories", []):
            yield "CATEGORIES=" + ",".join(cat.value)


def calendar(text):
    vobject.readOne(text)  # must parse as well
    cal = icalendar.Calendar.from_ical(text)
    for c in cal.walk():
        if c.name == "VEVENT":
            yield "SUMMARY=" + str(c.get("summary"))
            start = c.decoded("dtstart")
            yield "DTSTART=" + start.isoformat() + ("" if getattr(start, "tzinfo", None) is None
                                                    else " " + str(start.utcoffset()))
            if c.get("location") is not None:
                yield "LOCATION=" + str(c.get("location"))
            org = c.get("organizer")
            if org is not None:
                yield "ORGANIZER=" + str(org.params.get("CN")) + ":" + str(org)
            att = c.get("attendee")
            for a in ([] if att is None else att if isinstance(att, list) else [att]):
                yield "ATTENDEE=" + str(a.params.get("ROLE")) + ":" + str(a.params.get("CN")) + ":" + str(a)
            if c.get("rrule") is not None:
                yield "RRULE=" + c.get("rrule").to_ical().decode()
        elif c.name == "VTODO":
            yield "TODO=" + str(c.get("summary"))
            if c.get("due") is not None:
                yield "DUE=" + c.decoded("due").isoformat()
            if c.get("priority") is not None:
                yield "PRIORITY=" + str(c.get("priority"))
            yield "STATUS=" + str(c.get("status"))
        elif c.name == "VALARM":
            yield "TRIGGER=" + str(c.decoded("trigger"))


def main():
    text = open(sys.argv[1], encoding="utf-8").read()
    lines = cards(text) if text.startswith("BEGIN:VCARD") else calendar(text)
    for line in lines:
        print(line.replace("\n", "\\n"))


main()
