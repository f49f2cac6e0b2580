#!/usr/bin/perl
# Prints every record of a dBASE table as Perl's XBase reads it: the deleted
# flag, then each value hex-encoded ("-" when undefined), tab-separated.
use strict;
use warnings;
use XBase;
my $t = XBase->new($ARGV[0]) or die XBase->errstr;
print "version ", $t->version, "\n";
for my $i (0 .. $t->last_record) {
  my ($del, @vals) = $t->get_record($i);
  die $t->errstr unless defined $del;
  print join("\t", $del ? 1 : 0, map { defined $_ ? unpack("H*", $_) : "-" } @vals), "\n";
}
