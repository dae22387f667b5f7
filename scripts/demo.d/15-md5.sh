# Password digest as the package computes it: MD5 over the text's GBK bytes (iconv turns this file's UTF-8 into GBK).
gbk=$(printf '%s' '会员密码' | iconv -f UTF-8 -t GBK) && echo "md5 of GBK \"会员密码\":"
build/bin/md5print -s "$gbk"
