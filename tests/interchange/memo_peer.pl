# The dBASE IV side of the memo interchange tests, with Perl's XBase (libdbd-xbase-perl): the only
# independent writer of dBASE IV memo files among the system's packages.
#
#   memo_peer.pl read TABLE     one line "NAME<tab>NOTE" per live record
#   memo_peer.pl write TABLE    a dBASE IV table (version 0x8B, DBT memo file) with fields NAME C(10)
#                               and NOTE M; the records come as such lines on standard input
#   memo_peer.pl append TABLE   appends the records on standard input to an existing table
#
# NOTE is the memo's bytes in hexadecimal, NAME plain ASCII; a missing memo is "". A missing module
# fails with exit status 3.
use strict;
use warnings;

BEGIN {
    eval { require XBase; 1 } or do { print "missing module: $@"; exit 3 };
}

my ($command, $path) = @ARGV;

if ($command eq 'read') {
    my $table = XBase->new($path) or die XBase->errstr;
    for my $i (0 .. $table->last_record) {
        my ($deleted, $name, $note) = $table->get_record($i, 'NAME', 'NOTE');
        next if $deleted;
        $name =~ s/ +$//;
        print $name, "\t", unpack('H*', defined $note ? $note : ''), "\n";
    }
    $table->close;
} elsif ($command eq 'write' or $command eq 'append') {
    my $table = $command eq 'append' ? XBase->new($path)
        : XBase->create(name => $path, version => 0x0B,
                        field_names => ['NAME', 'NOTE'], field_types => ['C', 'M'],
                        field_lengths => [10, 10], field_decimals => [0, 0]);
    die XBase->errstr unless $table;
    my $n = $table->last_record + 1;
    while (my $line = <STDIN>) {
        chomp $line;
        next unless $line =~ /\S/;
        my ($name, $note) = split /\t/, $line, 2;
        $table->set_record($n++, $name, pack('H*', defined $note ? $note : '')) or die $table->errstr;
    }
    $table->close;
} else {
    print "unknown command $command\n";
    exit 2;
}
