#!/usr/bin/python3
"""Prints, in hex, a SPNEGO NegTokenInit for HTTP/localhost made by MIT
Kerberos through python3-gssapi, with a throwaway KDC in the folder given.

  spnego_token.py WORK_DIR
Exit 77 when the Kerberos programs or python3-gssapi are missing.
"""
import os
import shutil
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    work = sys.argv[1]
    for program in ("kdb5_util", "kadmin.local", "krb5kdc", "kinit"):
        if shutil.which(program, path=os.environ.get("PATH", "") + ":/usr/sbin:/usr/bin") is None:
            print("missing " + program)
            sys.exit(77)
    try:
        import gssapi
    except ImportError:
        print("missing python3-gssapi")
        sys.exit(77)
    port = free_port()
    k = work
    with open(k + "/krb5.conf", "w") as f:
        f.write("[libdefaults]\n default_realm = TEST.LOCAL\n dns_lookup_kdc = false\n dns_lookup_realm = false\n"
                " rdns = false\n dns_canonicalize_hostname = false\n[realms]\n TEST.LOCAL = {\n"
                "  kdc = 127.0.0.1:%d\n }\n[domain_realm]\n localhost = TEST.LOCAL\n" % port)
    with open(k + "/kdc.conf", "w") as f:
        f.write("[kdcdefaults]\n kdc_listen = 127.0.0.1:%d\n kdc_tcp_listen = 127.0.0.1:%d\n[realms]\n"
                " TEST.LOCAL = {\n  database_name = %s/principal\n  key_stash_file = %s/stash\n"
                "  acl_file = %s/kadm5.acl\n }\n[logging]\n kdc = FILE:%s/kdc.log\n default = FILE:%s/kdc.log\n"
                % (port, port, k, k, k, k, k))
    env = dict(os.environ, KRB5_CONFIG=k + "/krb5.conf", KRB5_KDC_PROFILE=k + "/kdc.conf",
               KRB5CCNAME="FILE:" + k + "/ccache")
    os.environ.update(env)
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=30, check=True)
    subprocess.run(["kdb5_util", "create", "-s", "-r", "TEST.LOCAL", "-P", "masterpw"], **quiet)
    subprocess.run(["kadmin.local", "-q", "addprinc -pw userpw user"], **quiet)
    subprocess.run(["kadmin.local", "-q", "addprinc -randkey HTTP/localhost"], **quiet)
    kdc = subprocess.Popen(["krb5kdc", "-n", "-P", k + "/kdc.pid"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                break
            except OSError:
                time.sleep(0.05)
        subprocess.run(["kinit", "user"], input=b"userpw\n", stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=env, timeout=30, check=True)
        name = gssapi.Name("HTTP@localhost", gssapi.NameType.hostbased_service)
        spnego = gssapi.Mechanism.from_sasl_name("SPNEGO")
        context = gssapi.SecurityContext(name=name, mech=spnego, usage="initiate")
        print(context.step().hex())
    finally:
        kdc.terminate()
        kdc.wait(timeout=10)


main()
