# Writes a memo database and a mail database through Perl's Palm modules, an
# independent writer, for the rescue tests.
# Usage: perl perl_made.pl MEMO.pdb MAIL.pdb
use strict;
use Palm::Memo;
use Palm::Mail;
my $m = Palm::Memo->new;
for my $t ("Shopping: milk\nEggs", "shopping: MILK", "", "Caf\xe9 notes\nline", ("x" x 150) . "\nend") {
  my $r = $m->new_Record;
  $r->{data} = $t;
  $m->append_Record($r);
}
my $d = $m->new_Record;
$d->{data} = "gone";
$d->{attributes}{Delete} = 1;
$d->{attributes}{expunged} = 1;
$m->append_Record($d);
$m->Write($ARGV[0]);
my $p = Palm::Mail->new;
my $r = $p->new_Record;
@$r{qw(subject from to cc bcc replyTo sentTo body)} =
  ("Lunch?", "ana\@example.com", "bob\@example.com", "", "", "", "", "See you at 12 =)\nAna");
@$r{qw(year month day hour minute priority)} = (2004, 5, 6, 13, 7, 0);
$p->append_Record($r);
$p->Write($ARGV[1]);
