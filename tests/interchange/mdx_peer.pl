#!/usr/bin/perl
# Reads one tag of an index file with XBase::Index (Debian package libdbd-xbase-perl) and prints
# its entries in the file's order, one line each: the key in hex, a blank, the record number.
# "tags" as the tag name prints the file's tag names instead, one a line.
use strict;
use warnings;
use XBase::Index;

my ($file, $tag) = @ARGV;
die "usage: mdx_peer.pl FILE.mdx TAG|tags\n" unless defined $tag;
if ($tag eq 'tags') {
	my $index = XBase::Index->new($file) or die XBase::Index->errstr;
	print "$_\n" for $index->tags;
	exit 0;
}
my $index = XBase::Index->new($file, 'tag' => $tag) or die XBase::Index->errstr;
$index->prepare_select;
while (my ($key, $record) = $index->fetch) {
	print unpack('H*', $key), " $record\n";
}
exit 0;
