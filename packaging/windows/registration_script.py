"""The registry entries a registration script (.rgs) writes when its server is registered, read
as the server kit's registrar reads the script (platform/common/RegistrarScript.h):

    HKCR { Name [= s 'text'] [{ val Name = s 'text' ... subkeys ... }] ... }

with the markings NoRemove and ForceRemove, and %MODULE% standing for the library's path.
Markings only govern removal, which the installer does from its own tables; Delete (a removal
when registering) has no counterpart in a package and is refused.
"""
import re

KEYWORDS = ("noremove", "forceremove", "delete", "val")


class ScriptError(Exception):
    pass


def tokens(text):
    """(kind, text, line): kinds 'word', 'quoted', '=', '{', '}'; a run of braces alone is
    braces, so a GUID such as {0D5C...} is a word."""
    line, pos = 1, 0
    while True:
        space = re.match(r"\s*", text[pos:]).group()
        line += space.count("\n")
        pos += len(space)
        if pos == len(text):
            return
        if text[pos] == "'":
            quoted = re.match(r"'((?:[^']|'')*)'", text[pos:], re.S)
            if not quoted:
                raise ScriptError(f"line {line}: unterminated quoted text")
            yield "quoted", quoted.group(1).replace("''", "'"), line
            line += quoted.group().count("\n")
            pos += len(quoted.group())
        elif text[pos] == "=":
            yield "=", "=", line
            pos += 1
        else:
            word = re.match(r"[^\s'=]+", text[pos:]).group()
            pos += len(word)
            if word.strip("{}"):
                yield "word", word, line
            else:
                yield from ((brace, brace, line) for brace in word)


def expand(text, module, literal, line):
    """text with %MODULE% replaced by module and %% by one percent sign; the rest of it goes
    through literal."""
    pieces = re.split(r"%([^%]*)%", text)
    if "%" in pieces[-1]:
        raise ScriptError(f"line {line}: a '%' without its closing '%' (write %% for one)")
    out = []
    for i, piece in enumerate(pieces):
        if i % 2 == 0:
            out.append(literal(piece))
        elif piece == "":
            out.append(literal("%"))
        elif piece.upper() == "MODULE":
            out.append(module)
        else:
            raise ScriptError(f"line {line}: unknown replacement %{piece}%")
    return "".join(out)


class Reader:
    def __init__(self, text, module, literal):
        self.tokens = list(tokens(text))
        self.index = 0
        self.module = module
        self.literal = literal
        self.entries = []

    def next(self, *kinds):
        if self.index == len(self.tokens):
            raise ScriptError("unexpected end of the script")
        kind, text, line = self.tokens[self.index]
        self.index += 1
        if kinds and kind not in kinds:
            raise ScriptError(f"line {line}: expected {' or '.join(kinds)}, found {text!r}")
        return kind, text, line

    def peek(self):
        return self.tokens[self.index][0] if self.index < len(self.tokens) else None

    def string_value(self):
        _, value_type, line = self.next("word")
        if value_type.lower() != "s":
            raise ScriptError(f"line {line}: only string values (s '...') are supported")
        _, text, line = self.next("quoted")
        return expand(text, self.module, self.literal, line)

    def name(self):
        _, text, line = self.next("word", "quoted")
        return expand(text, self.module, self.literal, line)

    def script(self):
        while self.peek() is not None:
            _, root, line = self.next("word")
            if root.upper() not in ("HKCR", "HKEY_CLASSES_ROOT"):
                raise ScriptError(f"line {line}: only HKEY_CLASSES_ROOT can be written, not {root}")
            self.next("{")
            self.block(None)
        return self.entries

    def block(self, path):
        """The keys and values inside braces, below path (None: the root)."""
        while self.peek() != "}":
            kind, text, line = self.next("word", "quoted")
            if kind == "word" and text.lower() == "val":
                if path is None:
                    raise ScriptError(f"line {line}: HKEY_CLASSES_ROOT itself holds no values")
                name = self.name()
                self.next("=")
                self.entries.append((path, name, self.string_value()))
                continue
            if kind == "word" and text.lower() == "delete":
                raise ScriptError(f"line {line}: Delete has no counterpart in a package")
            kept = kind == "word" and text.lower() == "noremove"
            if kind == "word" and text.lower() in KEYWORDS:  # a marking: the name follows
                kind, text, line = self.next("word", "quoted")
                if kind == "word" and text.lower() in KEYWORDS:
                    raise ScriptError(f"line {line}: unexpected {text} (quote it for a name)")
            key = expand(text, self.module, self.literal, line)
            subkey = key if path is None else path + "\\" + key
            written = len(self.entries)
            if self.peek() == "=":
                self.next()
                self.entries.append((subkey, None, self.string_value()))
            if self.peek() == "{":
                self.next()
                self.block(subkey)
            if len(self.entries) == written:
                self.entries.append((subkey, "+" if kept else "*", None))
        self.next("}")


def read(path, module, literal=lambda text: text):
    """The entries of the script at path as (key, value name, text), module standing for
    %MODULE% and the script's own text passed through literal. A default value has the name
    None. A key that holds nothing has the text None and, as in the installer's Registry
    table, the name "*" (created, and removed with its server) or, marked NoRemove, "+"
    (created, never removed)."""
    with open(path, encoding="utf-8") as script:
        text = script.read()
    try:
        return Reader(text, module, literal).script()
    except ScriptError as error:
        raise SystemExit(f"{path}: {error}")
