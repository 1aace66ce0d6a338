"""compare.py flies the stand-in to where the core's final save stands.

The numbers are the core's L1 approach of 2026-12-10 (600 s step, the end input at 5184000 s,
--maxsimtime 5184300): its final.scn is dated MJD 51604.5069444444, one step past the end, and the
bus saved there stands 17 766 km from the stand-in's save at 5184000 s, 998 km from the stand-in's
at 5184600 s."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402

L1_INPUTS = "0 dt 10\n5184000 snapshot mfd-left l1-sun-line.png\n5184000 mfd left key V\n5184000 end\n"


class CoreSaveTime(unittest.TestCase):
    def write(self, folder, name, text):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_the_l1_approach_saved_one_step_past_its_end(self):
        with tempfile.TemporaryDirectory() as d:
            scn = self.write(d, "L1 approach.scn", "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51544.5\nEND_ENVIRONMENT\n")
            self.write(d, "final.scn", "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51604.5069444444\nEND_ENVIRONMENT\n")
            t = compare.core_save_time(d, scn)
            self.assertAlmostEqual(t, 5184600.0, delta=1e-4)  # the dates keep 1e-10 day
            text, until = compare.end_where_core_saved(L1_INPUTS, 5184000.0, t)
            self.assertAlmostEqual(until, 5184600.0, delta=1e-4)
            lines = text.splitlines()
            # The end moves just under the save (the frame starting at 5184000 s is flown, the next
            # is not); the inputs at the end stay where they were.
            end = float(lines[-1].split()[0])
            self.assertTrue(5184000.0 + 600.0 - 0.01 < end < 5184600.0, end)
            self.assertEqual(lines[:3], L1_INPUTS.splitlines()[:3])

    def test_a_save_at_the_end_or_without_dates_changes_nothing(self):
        self.assertEqual(compare.end_where_core_saved(L1_INPUTS, 5184000.0, 5184000.0), (L1_INPUTS, 5184000.0))
        self.assertEqual(compare.end_where_core_saved(L1_INPUTS, 60.0, None), (L1_INPUTS, 60.0))
        # a pilot's 1/60 s step: the frame past the end moves the end by that frame only
        text, until = compare.end_where_core_saved("60 end\n", 60.0, 60.0 + 1.0 / 60.0)
        self.assertAlmostEqual(until, 60.0 + 1.0 / 60.0)
        self.assertTrue(60.0 < float(text.split()[0]) < 60.0 + 1.0 / 60.0)
        with tempfile.TemporaryDirectory() as d:
            scn = self.write(d, "x.scn", "BEGIN_SHIPS\nEND_SHIPS\n")
            self.assertIsNone(compare.core_save_time(d, scn))


if __name__ == "__main__":
    unittest.main()
