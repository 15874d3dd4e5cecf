"""Reads the component's interface description (IQuillon.toml, which says what it holds) into
the library, its interfaces with their members in vtable order, and the settable properties;
and refuses a description that could not be a type library. generate_interface.py writes the
files that repeat it."""
import re
import tomllib
from dataclasses import dataclass, field

# An IDL type: its C++ spelling, its VARTYPE, and what people call it (None: no property's
# value can be of that type).
TYPES = {
    "short": ("SHORT", "VT_I2", "16-bit integer"),
    "long": ("LONG", "VT_I4", "32-bit integer"),
    "float": ("FLOAT", "VT_R4", "single-precision real"),
    "double": ("DOUBLE", "VT_R8", "real"),
    "BSTR": ("BSTR", "VT_BSTR", "string"),
    "VARIANT_BOOL": ("VARIANT_BOOL", "VT_BOOL", "boolean"),
    "VARIANT": ("VARIANT", "VT_VARIANT", None),
    "IUnknown": ("IUnknown", "VT_UNKNOWN", None),
}


class TableError(Exception):
    pass


@dataclass
class Param:
    attributes: tuple  # ("in",), ("out", "retval"), or () for none
    type: str  # as IDL writes it: "short", "VARIANT*"
    name: str  # None for a property's new value, which the type library leaves unnamed

    def base_type(self):
        return self.type.rstrip("*")

    def cpp(self):
        pointers = self.type[len(self.base_type()):]
        return f"{TYPES[self.base_type()][0]}{pointers} {self.name or 'newVal'}"

    def idl(self):
        attributes = f"[{', '.join(self.attributes)}] " if self.attributes else ""
        return f"{attributes}{self.type} {self.name or 'newVal'}"


@dataclass
class Member:
    interface: str
    name: str
    kind: str  # "method", "propget", "propput"
    dispid: int
    idl_help: str  # the type library's help string; "" for none
    params: list

    def cpp_name(self):
        return {"method": "", "propget": "get_", "propput": "put_"}[self.kind] + self.name


@dataclass
class Property:
    """A settable property, as people read about it, and how its accessors keep it."""
    name: str
    type: str
    default: str
    accepts: dict
    help: str
    form: dict
    readable: bool = False  # it has a get too
    by_hand: bool = False  # its accessors are written by hand, not generated
    field: str = ""  # the state field a generated accessor keeps it in
    not_in_micro: str = ""  # for PDF417 alone: what a MicroPDF417 symbol does instead

    def type_name(self):
        return TYPES[self.type][2]

    def values(self):
        """The PropertyValues the accessor checks against."""
        if self.type == "VARIANT_BOOL":
            return "kAnyValue"
        if "bytes" in self.accepts:
            return "kText"
        if "digit_groups" in self.accepts:
            return "kDigitGroups"
        if "one_of" in self.accepts:
            return "kIntegerList"
        return "kIntegers" if "low" in self.accepts else "kReals"

    def accepted_text(self):
        a = self.accepts
        if self.values() == "kAnyValue":
            return "True or False"
        if self.values() == "kText":
            return f"text of at most {a['bytes']} bytes"
        if self.values() == "kDigitGroups":
            return (f"3 to {3 * a['digit_groups']} decimal digits, in groups of three from 000 to "
                    f"{a['group_high']}")
        if self.values() == "kIntegers":
            return f"{a['low']}..{a['high']}"
        if self.values() == "kIntegerList":
            return "one of " + ", ".join(str(v) for v in a["one_of"])
        return f"above {a['above']:g}" + (f", at most {a['at_most']:g}" if "at_most" in a else "")


@dataclass
class Interface:
    name: str
    uuid: str
    base: str  # IDispatch, or an interface before it
    help: str
    members: list = field(default_factory=list)


@dataclass
class Library:
    library: dict  # the table's [library], [class] and [[error]] as written
    cls: dict
    errors: list
    interfaces: list
    properties: list  # the settable ones, in the order of the interfaces

    def dispid_name(self, member_name):
        return f"DISPID_{self.cls['name'].upper()}_{member_name.upper()}"

    def version(self):
        major, minor = self.library["version"].split(".")
        return int(major), int(minor)

    def previous_release(self):
        """The library as its previous version published it: its last interface not yet there,
        the minor version one lower, and the class's default that interface's base."""
        major, minor = self.version()
        last = self.interfaces[-1]
        if minor == 0 or self.cls["default"] != last.name:
            raise TableError("no earlier version: the minor version is 0, or the last interface "
                             "is not the class's default")
        added = {m.name for m in last.members}
        return Library(dict(self.library, version=f"{major}.{minor - 1}"),
                       dict(self.cls, default=last.base), self.errors, self.interfaces[:-1],
                       [p for p in self.properties if p.name not in added])


def read_param(text):
    m = re.fullmatch(r"(?:\[([^\]]*)\]\s*)?(\w+)\s*(\**)\s+(\w+)", text.strip())
    if not m:
        raise TableError(f"not a parameter as IDL writes one: {text!r}")
    param = Param(tuple(a.strip() for a in (m[1] or "").split(",") if a.strip()), m[2] + m[3],
                  m[4])
    check_type(param.base_type(), text)
    return param


def check_type(idl_type, where):
    if idl_type not in TYPES:
        raise TableError(f"{where}: unknown type {idl_type}")


def read_members(entry, interface):
    if "method" in entry:
        name = entry["method"]
        params = [read_param(p) for p in entry.get("params", [])]
        help = entry.get("idl_help", f"method {name}")
        return [Member(interface, name, "method", entry["id"], help, params)]
    name, idl_type = entry["property"], entry["type"]
    check_type(idl_type, name)
    help = entry.get("idl_help", f"property {name}")
    params = {"get": Param(("out", "retval"), idl_type + "*", "pVal"),
              "put": Param(("in",), idl_type, None)}
    accesses = entry["access"].split()
    if not accesses or any(a not in params for a in accesses):
        raise TableError(f"{name}: access is \"get\", \"put\" or \"get put\"")
    return [Member(interface, name, "prop" + a, entry["id"], help, [params[a]]) for a in accesses]


def read_property(entry):
    name = entry["property"]
    needed = ("default", "help") + (() if entry["type"] == "VARIANT_BOOL" else ("accepts",))
    for key in needed:
        if key not in entry:
            raise TableError(f"{name}: a settable property needs `{key}`")
    if TYPES[entry["type"]][2] is None:
        raise TableError(f"{name}: a settable property cannot be of type {entry['type']}")
    accepts = entry.get("accepts", {})
    text_limits = {"bytes", "digit_groups"} & accepts.keys()
    if (entry["type"] == "BSTR") != bool(text_limits):
        raise TableError(f"{name}: text, and only text, accepts `bytes` or `digit_groups`")
    listed = accepts.get("one_of")
    if listed is not None and (entry["type"] not in ("short", "long") or not listed or any(
            not isinstance(v, int) or isinstance(v, bool) for v in listed)):
        raise TableError(f"{name}: only integers are `one_of` a list, which lists some")
    field_name = entry.get("field", "" if entry.get("by_hand") else name)
    if not entry.get("by_hand") and not re.fullmatch(r"[A-Za-z_]\w*", field_name):
        raise TableError(f"{name}: its field {field_name!r} is no C++ name")
    if entry["type"] == "BSTR" and not entry.get("by_hand"):
        raise TableError(f"{name}: text is checked and kept by hand: say `by_hand`")
    if entry.get("by_hand") and "field" in entry:
        raise TableError(f"{name}: a property by hand keeps its own fields; it names no `field`")
    return Property(name, entry["type"], entry["default"], accepts, entry["help"],
                    entry.get("form", {}), "get" in entry["access"].split(),
                    bool(entry.get("by_hand")), field_name, entry.get("not_in_micro", ""))


def read_table(text):
    table = tomllib.loads(text)
    interfaces, properties, by_dispid = [], [], {}
    for i in table["interface"]:
        if i["base"] != "IDispatch" and i["base"] not in (x.name for x in interfaces):
            raise TableError(f"{i['name']} derives from {i['base']}, not an interface before it")
        interface = Interface(i["name"], i["uuid"], i["base"], i["help"])
        for entry in i["member"]:
            for m in read_members(entry, interface.name):
                # A property's get and put share a DISPID; nothing else does, a base's included.
                other = by_dispid.setdefault(m.dispid, m)
                if other is not m and (other.name != m.name or other.kind == m.kind):
                    raise TableError(f"{m.name} and {other.name} have one DISPID, {m.dispid}")
                interface.members.append(m)
            if "put" in entry.get("access", "").split():
                properties.append(read_property(entry))
        interfaces.append(interface)
    if table["class"]["default"] not in (i.name for i in interfaces):
        raise TableError(f"the class's default interface {table['class']['default']} is not here")
    return Library(table["library"], table["class"], table.get("error", []), interfaces,
                   properties)
