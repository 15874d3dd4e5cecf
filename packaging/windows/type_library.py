"""What registering a server's type library writes (RegisterTypeLib, as Wine's oleaut32 does
it), read from the interface definition (IDL) the type library is compiled from:

    TypeLib\\{LIBID}\\1.0                  = the library's help string, else its name
    TypeLib\\{LIBID}\\1.0\\0\\win32|win64     = the library's path
    TypeLib\\{LIBID}\\1.0\\FLAGS            = its flags, with FHASDISKIMAGE (8)
    TypeLib\\{LIBID}\\1.0\\HELPDIR          = the library's folder
    Interface\\{IID}                      = the interface's name, for each dual, automation
                                          or dispatch interface in the library, with the
                                          universal marshaler as its proxy and stub and
                                          its type library and version.
"""
import re

UNIVERSAL_MARSHALER = "{00020424-0000-0000-C000-000000000046}"
LIBRARY_FLAGS = {"restricted": 1, "control": 2, "hidden": 4}
HAS_DISK_IMAGE = 8
REGISTERED_KINDS = ("dual", "oleautomation")

# A definition and its attributes: [attributes] kind Name [: Base] { (a coclass's
# "[default] interface Name;" names an interface, it does not define one)
DEFINITION = re.compile(
    r'\[((?:[^\]"]|"[^"]*")*)\]\s*(library|coclass|interface|dispinterface)\s+(\w+)'
    r"(?:\s*:\s*(\w+))?\s*\{")
ATTRIBUTE = re.compile(r'(\w+)\s*(?:\(((?:[^()"]|"[^"]*")*)\))?')


def without_comments(text):
    return re.sub(r'//[^\n]*|/\*.*?\*/|("(?:[^"\\]|\\.)*")',
                  lambda m: m.group(1) or " ", text, flags=re.S)


def attributes(text):
    return {name.lower(): value for name, value in ATTRIBUTE.findall(text)}


def braced_body(text, start):
    """The text inside the braces that open at or after start."""
    open_at = text.index("{", start)
    depth = 0
    for i in range(open_at, len(text)):
        depth += {"{": 1, "}": -1}.get(text[i], 0)
        if depth == 0:
            return text[open_at + 1:i]
    raise SystemExit("unbalanced braces in the IDL")


class Library:
    def __init__(self, path):
        with open(path, encoding="utf-8") as idl:
            text = without_comments(idl.read())
        interfaces = {}
        library = None
        for match in DEFINITION.finditer(text):
            attrs, kind, name, base = match.groups()
            if kind == "library":
                library = (attributes(attrs), name, braced_body(text, match.end() - 1))
            elif kind != "coclass":
                interfaces[name] = (attributes(attrs), kind, base)
        if library is None:
            raise SystemExit(f"{path}: no library")
        attrs, self.name, body = library
        self.guid = "{" + attrs["uuid"].strip().upper() + "}"
        self.version = attrs.get("version", "0.0").strip()
        self.lcid = int(attrs.get("lcid", "0"), 0)
        self.help = attrs.get("helpstring", "").strip().strip('"') or self.name
        self.flags = HAS_DISK_IMAGE + sum(v for k, v in LIBRARY_FLAGS.items() if k in attrs)

        # The library holds the interfaces declared or named inside it, and their bases.
        named = set(re.findall(r"\w+", body))
        held = [name for name in interfaces if name in named]
        for name in held:
            base = interfaces[name][2]
            if base in interfaces and base not in held:
                held.append(base)
        self.interfaces = [
            ("{" + interfaces[name][0]["uuid"].strip().upper() + "}", name)
            for name in interfaces if name in held and (
                interfaces[name][1] == "dispinterface"
                or any(kind in interfaces[name][0] for kind in REGISTERED_KINDS))]

    def entries(self, path, platform, folder, literal=lambda text: text):
        """The entries registering the library at path writes, as (key, value name, text); the
        win32 or win64 key by platform; folder for HELPDIR, None to leave it out. The help
        string, the one text of the IDL's own that may hold any character, goes through
        literal."""
        major, minor = (int(part) for part in (self.version + ".0").split(".")[:2])
        version = f"{major:x}.{minor:x}"
        key = f"TypeLib\\{self.guid}\\{version}"
        entries = [(key, None, literal(self.help)),
                   (f"{key}\\{self.lcid:x}\\{platform}", None, path),
                   (f"{key}\\FLAGS", None, str(self.flags))]
        if folder is not None:
            entries.append((f"{key}\\HELPDIR", None, folder))
        for guid, name in self.interfaces:
            key = f"Interface\\{guid}"
            entries += [(key, None, name),
                        (f"{key}\\ProxyStubClsid", None, UNIVERSAL_MARSHALER),
                        (f"{key}\\ProxyStubClsid32", None, UNIVERSAL_MARSHALER),
                        (f"{key}\\TypeLib", None, self.guid),
                        (f"{key}\\TypeLib", "Version", version)]
        return entries
