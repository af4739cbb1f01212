#!/usr/bin/env python3
"""The dashboard check finds what it is for: metric names inside PromQL with
its numbers, label lists and strings, unknown metrics, units outside the
list and legends without the unit's names."""

import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import check_dashboard as cd  # noqa: E402


def dashboard(expr, unit="s", legend="{{device}} {{part_number}}", variable="label_values(velmor_up, instance)"):
    return {"templating": {"list": [{"name": "instance", "type": "query", "query": variable},
                                    {"name": "window", "type": "custom", "query": "1h,24h"}]},
            "panels": [{"type": "row", "title": "r", "panels": [
                {"type": "timeseries", "title": "p", "fieldConfig": {"defaults": {"unit": unit}, "overrides": []},
                 "targets": [{"expr": expr, "legendFormat": legend}]}]}]}


class MetricNames(unittest.TestCase):
    def test_names_among_promql_words(self):
        self.assertEqual(cd.metrics_in('abs(velmor_pps_offset_seconds{device=~"a|b"}) > 100e-9 and on(instance, device)'
                                       ' velmor_discipline_state{state="locked"} == 1'),
                         {"velmor_pps_offset_seconds", "velmor_discipline_state"})
        self.assertEqual(cd.metrics_in('sum by (instance, device) (rate(velmor_sentences_total[5m]) * 2)'
                                       ' * on(instance) group_left(part_number) velmor_unit_info'),
                         {"velmor_sentences_total", "velmor_unit_info"})
        self.assertEqual(cd.metrics_in('increase(velmor_events_total{event="lock-lost"}[1h] offset 1d) > 0'),
                         {"velmor_events_total"})
        self.assertEqual(cd.metrics_in('vector(1)'), set())


class Problems(unittest.TestCase):
    defined = {"velmor_up", "velmor_unit_info", "velmor_tfom"}

    def test_a_good_dashboard_passes(self):
        self.assertEqual(cd.check(dashboard("velmor_tfom * on(instance, device) group_left(part_number)"
                                            " velmor_unit_info"), self.defined), [])

    def test_each_fault_is_named(self):
        self.assertIn("metric 'velmor_tfom_old' is not defined", " ".join(
            cd.check(dashboard("velmor_tfom_old"), self.defined)))
        self.assertIn("metric 'velmor_gone' is not defined", " ".join(
            cd.check(dashboard("velmor_tfom", variable="label_values(velmor_gone, device)"), self.defined)))
        self.assertIn("unit 'reqps'", " ".join(cd.check(dashboard("velmor_tfom", unit="reqps"), self.defined)))
        self.assertIn("no unit", " ".join(cd.check(dashboard("velmor_tfom", unit=None), self.defined)))
        self.assertIn("does not name the device and the part number", " ".join(
            cd.check(dashboard("velmor_tfom", legend="{{instance}} {{device}}"), self.defined)))
        self.assertIn("names no metric", " ".join(cd.check(dashboard("vector(1)"), self.defined)))


if __name__ == "__main__":
    unittest.main()
