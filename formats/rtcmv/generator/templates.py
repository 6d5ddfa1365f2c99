"""Template blocks: C++ text written as it comes out, with $names for what the description fills in.

A template is a triple-quoted string whose first and last line breaks are not part of it; a blank
line in it is a blank line in the output.  A value is either a string, substituted where its
$name (or ${name}) stands, or a list of lines: a line that holds nothing but $name is replaced by
those lines, each indented as the placeholder was, and disappears when the list is empty.
Every template may also use $P, the name of the format being generated (RTCMV, RTCM2X...), which
starts its identifiers, file names and error codes, and $p, the same in lower case (its folder).
"""

from string import Template

# The name of the format being generated; set once per run from the generator's --prefix.
PREFIX = "RTCMV"


def use_prefix(prefix):
    global PREFIX
    PREFIX = prefix


def named(text):
    """text with the format's name put in for $P (and $p, in lower case)."""
    return Template(text).safe_substitute(P=PREFIX, p=PREFIX.lower())


def render(template, **values):
    """The lines of a template block with every $name replaced."""
    text = template[1:] if template.startswith("\n") else template
    text = text[:-1] if text.endswith("\n") else text
    lines = []
    for line in text.split("\n"):
        stripped = line.strip()
        name = stripped[1:].strip("{}")
        if stripped.startswith("$") and isinstance(values.get(name), list):
            indent = line[:len(line) - len(line.lstrip())]
            lines.extend(indent + inner if inner else inner for inner in values[name])
        else:
            lines.append(Template(line).substitute({"P": PREFIX, "p": PREFIX.lower()}, **values))
    return lines


def join(lines):
    """File text of a list of lines."""
    return "\n".join(lines) + "\n"
