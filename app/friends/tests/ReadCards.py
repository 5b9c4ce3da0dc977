"""Reads a vCard file with vobject (an independent parser) and prints its cards as JSON, one object
per card with the fields the friend book writes; exits non-zero when the file does not parse."""
import json
import sys

import vobject

with open(sys.argv[1], encoding="utf-8", newline="") as f:
    text = f.read()
cards = []
for card in vobject.readComponents(text, validate=True):
    def value(name):
        children = card.contents.get(name)
        return children[0].value if children else None
    cards.append({"version": value("version"), "fn": value("fn"), "email": value("email"), "note": value("note")})
json.dump(cards, sys.stdout, ensure_ascii=False)
