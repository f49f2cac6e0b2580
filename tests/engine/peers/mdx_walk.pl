#!/usr/bin/perl
# Prints every key of the named tags of an .MDX file as Perl's XBase::Index
# walks them, in stored order: "TAG hex-key record", one key a line.
use strict;
use warnings;
use XBase::Index;
my ($file, @tags) = @ARGV;
for my $tag (@tags) {
  my $i = XBase::Index->new($file, 'tag' => $tag) or die XBase::Index->errstr;
  $i->prepare_select;
  while (my ($k, $v) = $i->fetch) { print "$tag ", unpack('H*', $k), " $v\n"; }
}
