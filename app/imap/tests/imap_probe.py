#!/usr/bin/python3
"""Reads an IMAP account the way another mail client would, for the IMAP tests: Python's imaplib
over TLS, trusting only the test's CA. The password comes in the environment (KAMO_IMAP_PASSWORD).

    imap_probe.py PORT CAFILE USER list              one line per folder, its name as the server wrote it
    imap_probe.py PORT CAFILE USER fetch FOLDER      one line per message: Message-ID, the internal date
                                                     as seconds since 1970, then its flags
    imap_probe.py PORT CAFILE USER dump              one line per message of every folder: the folder's
                                                     name decoded ("/" between levels), the internal date
                                                     as "DD Mon YYYY HH:MM:SS +ZZZZ", the flags, and the
                                                     message's bytes in base64
"""
import base64
import datetime
import email
import imaplib
import os
import re
import ssl
import sys


def decode_name(wire):
    """RFC 3501's modified UTF-7, decoded here on its own rather than by the program's code."""
    out, i = [], 0
    while i < len(wire):
        if wire[i] != "&":
            out.append(wire[i])
            i += 1
            continue
        end = wire.index("-", i)
        if end == i + 1:
            out.append("&")
        else:
            chunk = wire[i + 1:end].replace(",", "/")
            out.append(base64.b64decode(chunk + "=" * (-len(chunk) % 4)).decode("utf-16-be"))
        i = end + 1
    return "".join(out)


def folders(imap):
    status, lines = imap.list()
    assert status == "OK", lines
    for line in lines:
        # (\HasNoChildren) "." NAME, the name quoted or not
        attributes, delimiter, name = re.match(r"^\((.*?)\) (\S+) (.*)$", line.decode("ascii")).groups()
        if "\\noselect" in attributes.lower() or "\\nonexistent" in attributes.lower():
            continue  # a level above others, holding no messages itself
        if name.startswith('"'):
            name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        yield name, delimiter.strip('"')


def messages(imap, wire, part):
    """Each message of the folder (its name as the server writes it): the internal date, the flags and
    the fetched part's bytes."""
    status, data = imap.select('"' + wire.replace("\\", "\\\\").replace('"', '\\"') + '"', readonly=True)
    assert status == "OK", data
    if int(data[0]) == 0:
        return
    status, items = imap.fetch("1:*", "(INTERNALDATE FLAGS " + part + ")")
    assert status == "OK", items
    for item in items:
        if not isinstance(item, tuple):
            continue
        head = item[0].decode("ascii")
        date_text = head.split('INTERNALDATE "', 1)[1].split('"', 1)[0]
        moment = datetime.datetime.strptime(date_text.strip(), "%d-%b-%Y %H:%M:%S %z")
        flags = head.split("FLAGS (", 1)[1].split(")", 1)[0]
        yield moment, flags, item[1]


def main():
    port, cafile, user, command = sys.argv[1:5]
    context = ssl.create_default_context(cafile=cafile)
    imap = imaplib.IMAP4_SSL("127.0.0.1", int(port), ssl_context=context)
    imap.login(user, os.environ["KAMO_IMAP_PASSWORD"])
    if command == "list":
        status, lines = imap.list()
        assert status == "OK", lines
        for line in lines:
            # (\HasNoChildren) "." NAME, the name quoted or not
            name = line.decode("ascii").split(" ", 2)[2]
            if name.startswith('"'):
                name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            print(name)
    elif command == "fetch":
        for moment, flags, body in messages(imap, sys.argv[5], "BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)]"):
            message_id = email.message_from_bytes(body).get("Message-ID", "").strip()
            print("%s\t%d\t%s" % (message_id, int(moment.timestamp()), flags))
    elif command == "dump":
        for wire, delimiter in folders(imap):
            name = decode_name(wire.replace(delimiter, "/") if delimiter != "NIL" else wire)
            for moment, flags, body in messages(imap, wire, "BODY.PEEK[]"):
                print("%s\t%s\t%s\t%s" % (name, moment.strftime("%d %b %Y %H:%M:%S %z"), flags,
                                          base64.b64encode(body).decode("ascii")))
    imap.logout()


if __name__ == "__main__":
    main()
