"""The fleet tool's outputs beyond the rows: the breakdowns of the fleet
(breakdowns), the fleet report on standard error (text_report), the table
of lanes that need a look as CSV and the metrics for node_exporter's
textfile collector (exports), and the fleet page (page). tools/ovantrex-fleet
runs the traces and writes the rows; what it reads of each row (its digest)
it hands to a Fleet."""
