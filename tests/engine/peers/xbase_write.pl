#!/usr/bin/perl
# Writes a small table with memos through Perl's XBase (dBASE IV layout).
use strict;
use warnings;
use XBase;
my $t = XBase->create(name => $ARGV[0], version => 4,
  field_names => ["NAME", "QTY", "BORN", "OK", "NOTE"],
  field_types => ["C", "N", "D", "L", "M"],
  field_lengths => [20, 8, 8, 1, 10], field_decimals => [0, 2, 0, 0, 0])
  or die XBase->errstr;
$t->set_record(0, "alpha", 1.5, "19991231", 1, "hello memo") or die $t->errstr;
$t->set_record(1, "beta", -2, undef, 0, "x" x 600) or die $t->errstr;
$t->set_record(2, "gamma", 12345.67, "20000229", 1, "") or die $t->errstr;
$t->set_record(3, "delta", 0, "19700101", undef, join("", map { chr(32 + $_ % 90) } 0 .. 1999))
  or die $t->errstr;
$t->delete_record(1);
$t->close;
