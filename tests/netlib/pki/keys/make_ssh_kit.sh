#!/bin/sh
# Makes the SSH and PuTTY key fixtures with ssh-keygen, puttygen and openssl
# into the folder given (created when missing).
# OpenSSH: ossh-T (no password), ossh-T-enc (kit-pass, aes256-cbc; two bcrypt
# rounds to keep the tests quick, ssh-keygen's default 16 for ed25519), ossh-T.pub
# (the public line), ossh-T.pem (PEM copy, not for Edwards keys), and
# ossh-ed25519-ctr / ossh-ed25519-aes128 under other ciphers.
# PuTTY (version 2): putty-T.ppk and putty-T-enc.ppk with their OpenSSH
# exports putty-T.out and putty-T-enc.out; putty-v3-enc.ppk in puttygen's
# default format. ossh-rsa.pvk: the RSA key as a PVK file.
# Usage: make_ssh_kit.sh <folder>
set -eu
D=$1
PW=kit-pass
mkdir -p "$D"
cd "$D"
printf '%s' "$PW" >pass.txt

for t in rsa dsa ecdsa-256 ecdsa-384 ecdsa-521 ed25519; do
  case $t in
    rsa) a="-t rsa -b 2048" ;;
    dsa) a="-t dsa" ;;
    ecdsa-*) a="-t ecdsa -b ${t#ecdsa-}" ;;
    *) a="-t $t" ;;
  esac
  ssh-keygen -q $a -N '' -C "kit $t" -f "ossh-$t"
  rounds=2
  [ "$t" = ed25519 ] && rounds=16
  ssh-keygen -q $a -N "$PW" -Z aes256-cbc -a $rounds -C "kit $t enc" -f "ossh-$t-enc"
  ssh-keygen -y -f "ossh-$t" >"ossh-$t.pub"
  ssh-keygen -y -P "$PW" -f "ossh-$t-enc" >"ossh-$t-enc.pub"
  if [ "$t" != ed25519 ]; then
    cp "ossh-$t" "ossh-$t.pem"
    ssh-keygen -q -p -m PEM -P '' -N '' -f "ossh-$t.pem" >/dev/null
    cp "ossh-$t-enc" "ossh-$t-enc.pem"
    ssh-keygen -q -p -m PEM -P "$PW" -N '' -f "ossh-$t-enc.pem" >/dev/null
  fi
done
ssh-keygen -q -t ed25519 -N "$PW" -a 2 -C "kit ctr" -f ossh-ed25519-ctr
ssh-keygen -q -t ed25519 -N "$PW" -a 2 -Z aes128-cbc -C "kit aes128" -f ossh-ed25519-aes128
openssl rsa -in ossh-rsa.pem -outform PVK -pvk-none -out ossh-rsa.pvk 2>/dev/null

for t in rsa dsa ecdsa-256 ecdsa-384 ecdsa-521 ed25519 ed448; do
  case $t in
    rsa) a="-t rsa -b 2048" ;;
    dsa) a="-t dsa -b 2048" ;;
    ecdsa-*) a="-t ecdsa -b ${t#ecdsa-}" ;;
    *) a="-t $t" ;;
  esac
  case $t in
    ed*) out=private-openssh-new ;;
    *) out=private-openssh ;;
  esac
  puttygen -q $a -C "putty $t" -O private --ppk-param version=2 --new-passphrase /dev/null -o "putty-$t.ppk"
  puttygen -q $a -C "putty $t enc" -O private --ppk-param version=2 --new-passphrase pass.txt -o "putty-$t-enc.ppk"
  puttygen -q "putty-$t.ppk" -O $out --new-passphrase /dev/null -o "putty-$t.out"
  puttygen -q "putty-$t-enc.ppk" --old-passphrase pass.txt -O $out --new-passphrase /dev/null -o "putty-$t-enc.out"
done
puttygen -q -t ed25519 -O private --new-passphrase pass.txt -o putty-v3-enc.ppk
