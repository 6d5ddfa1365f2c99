"""Template blocks: C++ text written as it comes out, with $names for what the description fills in.

A template is a triple-quoted string whose first and last line breaks are not part of it; a blank
line in it is a blank line in the output.  A value is either a string, substituted where its
$name (or ${name}) stands, or a list of lines: a line that holds nothing but $name is replaced by
those lines, each indented as the placeholder was, and disappears when the list is empty.
"""

from string import Template


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
            lines.append(Template(line).substitute(values))
    return lines


def join(lines):
    """File text of a list of lines."""
    return "\n".join(lines) + "\n"
