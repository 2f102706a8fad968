# windows-zip.py OUT.zip FOLDER EPOCH: zips FOLDER's files under FOLDER's
# name, in name order, each dated EPOCH with the same permissions, so that
# the same files always give the same bytes.
import os, sys, time, zipfile

out, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
date = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
top = os.path.basename(os.path.normpath(folder))
files = sorted(os.path.relpath(os.path.join(d, f), folder)
               for d, _, names in os.walk(folder) for f in names)
with zipfile.ZipFile(out + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in files:
        info = zipfile.ZipInfo(top + "/" + name.replace(os.sep, "/"), date)
        info.compress_type, info.external_attr = zipfile.ZIP_DEFLATED, 0o644 << 16
        z.writestr(info, open(os.path.join(folder, name), "rb").read())
os.replace(out + ".part", out)
