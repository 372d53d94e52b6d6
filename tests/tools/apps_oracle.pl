#!/usr/bin/perl
# Compares the records of a database as Perl's Palm modules decode them with
# the JSON `corvane export --app` printed for it (or the JSON it was imported
# from). Prints "OK <n>" when every value agrees, else one line per mismatch.
# E-books, which the modules do not decode, are expanded here independently.
use strict;
use warnings;
use JSON::PP;
use Encode qw(decode);
use Palm::PDB;
use Palm::Raw;
use Palm::Memo;
use Palm::ToDo;
use Palm::Address;
use Palm::Datebook;
use Palm::Mail;

my ($file, $json_file, $encoding) = @ARGV;
$encoding ||= 'cp1252';
open my $fh, '<:raw', $json_file or die "$json_file: $!";
my $json = decode_json(do { local $/; <$fh> });
my $pdb = Palm::PDB->new;
$pdb->Load($file);
my @bad;
my $n = 0;

sub txt { my $b = shift; return undef unless defined $b; return decode($encoding, $b); }
sub same {
  my ($what, $mine, $theirs) = @_;
  my $m = defined $mine ? (ref $mine ? encode_json($mine) : "$mine") : 'null';
  my $t = defined $theirs ? (ref $theirs ? encode_json($theirs) : "$theirs") : 'null';
  push @bad, "$what: corvane '$m' perl '$t'" if $m ne $t;
}
sub ymd { my ($y, $m, $d) = @_; return sprintf('%04d-%02d-%02d', $y, $m, $d); }
sub hm { my ($h, $m) = @_; return ($h == 0xFF && $m == 0xFF) ? undef : sprintf('%02d:%02d', $h, $m); }

my @cats = ref $pdb->{appinfo} eq "HASH" ? map { txt($_->{name}) } @{ $pdb->{appinfo}{categories} || [] } : ();
sub category_index {
  my $c = shift;
  return 0 unless defined $c;  # a record that names none is in category 0
  return $c if $c =~ /^\d+$/ && !JSON::PP::is_bool($c);
  for my $i (0 .. $#cats) { return $i if defined $cats[$i] && $cats[$i] eq $c; }
  return "unknown '$c'";
}

my @mine = grep { 1 } @{ $json->{records} };
my $type = "$pdb->{creator}/$pdb->{type}";
if ($type eq 'REAd/TEXt') {
  my @r = @{ $pdb->{records} };
  my ($comp, undef, $len, $count) = unpack 'n n N n', $r[0]{data};
  my $text = '';
  for my $i (1 .. $count) {
    my $d = $r[$i]{data};
    if ($comp == 1) { $text .= $d; next; }
    my $out = '';
    for (my $j = 0; $j < length $d; ) {
      my $c = ord substr($d, $j++, 1);
      if ($c >= 1 && $c <= 8) { $out .= substr($d, $j, $c); $j += $c; }
      elsif ($c < 0x80) { $out .= chr $c; }
      elsif ($c >= 0xC0) { $out .= ' ' . chr($c ^ 0x80); }
      else {
        my $p = (($c << 8) | ord substr($d, $j++, 1)) & 0x3FFF;
        my ($dist, $l) = ($p >> 3, ($p & 7) + 3);
        $out .= substr($out, length($out) - $dist, 1) for 1 .. $l;
      }
    }
    $text .= $out;
  }
  same('text', $json->{text}, txt($text));
  same('textLength', $json->{header}{textLength}, $len);
  $n = 1;
} else {
  my @theirs = grep { defined $_->{data} || !$_->{attributes}{deleted} } @{ $pdb->{records} };
  same('record count', scalar @mine, scalar @theirs);
  for my $i (0 .. $#theirs) {
    my ($r, $m) = ($theirs[$i], $mine[$i] || {});
    my $at = "record $i";
    $n++;
    same("$at category", category_index($m->{category}), $r->{category});
    same("$at secret", $m->{secret} ? 1 : 0, ($r->{attributes}{private} || $r->{attributes}{Secret}) ? 1 : 0);
    if ($type eq 'memo/DATA') {
      same("$at text", $m->{text}, txt($r->{data}));
    } elsif ($type eq 'todo/DATA') {
      same("$at description", $m->{description}, txt($r->{description}));
      same("$at note", $m->{note}, txt(defined $r->{note} ? $r->{note} : ''));
      same("$at due", $m->{due}, defined $r->{due_year} ? ymd(@$r{qw(due_year due_month due_day)}) : undef);
      same("$at priority", $m->{priority}, $r->{priority});
      same("$at completed", $m->{completed} ? 1 : 0, $r->{completed} ? 1 : 0);
    } elsif ($type eq 'addr/DATA') {
      my %key = (name => 'lastName');
      for my $f (qw(name firstName company phone1 phone2 phone3 phone4 phone5 address city state zipCode country title custom1 custom2 custom3 custom4 note)) {
        same("$at $f", $m->{ $key{$f} || $f }, txt($r->{fields}{$f}));
      }
      my @names = qw(work home fax other email main pager mobile);
      same("$at phoneLabels", join(',', @{ $m->{phoneLabels} }), join(',', map { $names[$r->{phoneLabel}{"phone$_"}] } 1 .. 5));
      same("$at displayPhone", $m->{displayPhone}, 'phone' . ($r->{phoneLabel}{display} + 1));
    } elsif ($type eq 'date/DATA' || $type eq 'PDat/DATA') {
      same("$at date", $m->{date}, ymd(@$r{qw(year month day)}));
      same("$at start", $m->{start}, hm(@$r{qw(start_hour start_minute)}));
      same("$at end", $m->{end}, hm(@$r{qw(end_hour end_minute)}));
      same("$at description", $m->{description}, txt($r->{description}));
      same("$at note", $m->{note}, txt($r->{note}));
      my @units = qw(minutes hours days);
      same("$at alarm", $m->{alarm} ? "$m->{alarm}{advance} $m->{alarm}{unit}" : undef,
           $r->{alarm} ? "$r->{alarm}{advance} $units[$r->{alarm}{unit}]" : undef);
      my @types = qw(none daily weekly monthlyByDay monthlyByDate yearly);
      if ($r->{repeat} || $m->{repeat}) {
        my ($mr, $rr) = ($m->{repeat} || {}, $r->{repeat} || {});
        same("$at repeat type", $mr->{type}, $types[$rr->{type} || 0]);
        same("$at repeat frequency", $mr->{frequency}, $rr->{frequency});
        same("$at repeat end", $mr->{end}, defined $rr->{end_year} ? ymd(@$rr{qw(end_year end_month end_day)}) : undef);
        if (($rr->{type} || 0) == 2) {
          my @days = qw(sun mon tue wed thu fri sat);
          same("$at repeat days", join(',', @{ $mr->{days} || [] }), join(',', map { $days[$_] } grep { $rr->{repeat_days}[$_] } 0 .. 6));
        } elsif (($rr->{type} || 0) == 3) {
          same("$at repeat week", $mr->{week}, $rr->{weeknum});
        }
      }
      same("$at exceptions", join(',', @{ $m->{exceptions} || [] }), join(',', map { ymd($_->[2], $_->[1], $_->[0]) } @{ $r->{exceptions} || [] }));
      if ($type eq 'PDat/DATA') {  # the Calendar: its location and the event's zone too
        same("$at location", $m->{location}, txt($r->{location}));
        my ($mz, $rz) = ($m->{timeZone}, $r->{timezone});
        same("$at zone", $mz ? join(' ', $mz->{name}, @$mz{qw(offset dstAdjustment country)}) : undef,
             $rz ? join(' ', txt($rz->{name}), @$rz{qw(offset dst_adjustment country)}) : undef);
        same("$at zone rule", $mz ? join(' ', map { @{ $mz->{$_} }{qw(hour month)} } qw(dstStart dstEnd)) : undef,
             $rz ? join(' ', @$rz{qw(start_hour start_month end_hour end_month)}) : undef);
      }
    } elsif ($type eq 'mail/DATA') {
      for my $f (qw(subject from to cc bcc replyTo sentTo body)) {
        my $v = $m->{$f};
        # The module shows address lists with their newlines as ", ".
        $v =~ s/\s*\n\s*(?!$)/, /gs if defined $v && $f =~ /^(to|cc|bcc|replyTo|sentTo)$/;
        same("$at $f", $v, txt(defined $r->{$f} ? $r->{$f} : ''));
      }
      same("$at read", $m->{read} ? 1 : 0, $r->{is_read} ? 1 : 0);
      same("$at priority", $m->{priority}, $r->{priority});
      same("$at date", $m->{date}, defined $r->{year} ? ymd(@$r{qw(year month day)}) . 'T' . sprintf('%02d:%02d', $r->{hour}, $r->{minute}) : undef);
    } else {
      same("$at data", $m->{data}, unpack('H*', $r->{data}));
    }
  }
}
if (@bad) { print "$_\n" for @bad; exit 1; }
print "OK $n\n";
