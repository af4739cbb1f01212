#!/usr/bin/env python3
"""The shipped Grafana dashboard against the monitor's source.

   check_dashboard.py DASHBOARD.json MONITOR_SOURCE_DIR

Every metric a query names (panels and template variables) must be one the
monitor defines: the names are taken from the string literals of its
sources, not from a scrape, because some series exist only in holdover or
only while the data is fresh. Every panel unit must be one of the Grafana
identifiers the dashboard is allowed, and every legend names the device and
the part number. Prints each problem; exit status 1 when there is one."""

import json
import pathlib
import re
import sys

ALLOWED_UNITS = {"s", "ns", "celsius", "short", "sci", "percentunit", "ops", "none"}
# PromQL words that are not metric names.
KEYWORDS = {"and", "or", "unless", "by", "without", "on", "ignoring", "group_left", "group_right", "offset",
            "bool", "inf", "nan", "atan2"}


def defined_metrics(source_dir):
    names = set()
    for path in sorted(pathlib.Path(source_dir).rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        names.update(re.findall(r'"(velmor_[a-z0-9_]+)"', path.read_text(errors="replace")))
    return names


def metrics_in(expr):
    """The metric names a PromQL expression selects."""
    text = re.sub(r'"(?:[^"\\]|\\.)*"', '""', expr)            # string literals
    text = re.sub(r"\{[^}]*\}", "", text)                         # label matchers
    text = re.sub(r"\[[^\]]*\]", "", text)                        # ranges
    # Label lists after by/without/on/ignoring/group_left/group_right.
    text = re.sub(r"\b(by|without|on|ignoring|group_left|group_right)\s*\([^)]*\)", " ", text)
    names = set()
    for match in re.finditer(r"[A-Za-z_:][A-Za-z0-9_:]*", text):
        word = match.group(0)
        following = text[match.end():].lstrip()
        if following.startswith("("):
            continue  # a function or an aggregation
        if word.lower() in KEYWORDS or re.fullmatch(r"\d+(e\d+)?", word):
            continue
        if match.start() > 0 and (text[match.start() - 1].isdigit() or text[match.start() - 1] == "."):
            continue  # the exponent of a number such as 1e-9
        names.add(word)
    return names


def template_query(variable):
    query = variable.get("query", "")
    if isinstance(query, dict):
        query = query.get("query", "")
    if variable.get("type") != "query":
        return ""
    match = re.fullmatch(r"\s*label_values\((.*),\s*[A-Za-z_]+\)\s*", query)
    return match.group(1) if match else query


def check(dashboard, defined):
    problems = []
    queries = []
    for variable in dashboard.get("templating", {}).get("list", []):
        query = template_query(variable)
        if query:
            queries.append(("variable " + variable["name"], query))
    panels = []
    for panel in dashboard.get("panels", []):
        panels.append(panel)
        panels.extend(panel.get("panels", []))  # a collapsed row keeps its panels inside
    for panel in panels:
        title = panel.get("title", "?")
        if panel.get("type") == "row":
            continue
        targets = panel.get("targets", [])
        if not targets:
            problems.append(f"panel '{title}': no query")
        for target in targets:
            queries.append((f"panel '{title}'", target.get("expr", "")))
            legend = target.get("legendFormat", "")
            if "{{device}}" not in legend or "{{part_number}}" not in legend:
                problems.append(f"panel '{title}': legend '{legend}' does not name the device and the part number")
        field = panel.get("fieldConfig", {})
        unit = field.get("defaults", {}).get("unit")
        if unit is None:
            problems.append(f"panel '{title}': no unit")
        elif unit not in ALLOWED_UNITS:
            problems.append(f"panel '{title}': unit '{unit}' is not one of {sorted(ALLOWED_UNITS)}")
        for override in field.get("overrides", []):
            for prop in override.get("properties", []):
                if prop.get("id") == "unit" and prop.get("value") not in ALLOWED_UNITS:
                    problems.append(f"panel '{title}': override unit '{prop.get('value')}' is not allowed")
    for where, expr in queries:
        names = metrics_in(expr)
        if not names:
            problems.append(f"{where}: query names no metric: {expr}")
        for name in sorted(names - defined):
            problems.append(f"{where}: metric '{name}' is not defined by the monitor")
    return problems


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    dashboard = json.loads(pathlib.Path(argv[1]).read_text())
    defined = defined_metrics(argv[2])
    if not defined:
        print(f"FAIL: no velmor_ metric names found under {argv[2]}")
        return 1
    problems = check(dashboard, defined)
    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    print(f"PASS: {len(defined)} metrics defined by the monitor; every query, unit and legend checks out")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
